/* SPDX-License-Identifier: MIT */
/* A program that uses libquorva as an installed library: CI builds it through pkg-config and
 * through find_package and runs it on the demo survey. */
#include <quorva.h>
#include <stdio.h>

int
main(int argc, char **argv)
{
    char bin[QUORVA_BINHEADER_SIZE];
    char trace[QUORVA_TRACEHEADER_SIZE];
    quorva_file *file;
    int traces;
    int iline;

    if (quorva_version() != QUORVA_VERSION_NUMBER) {
        fprintf(stderr, "library version %d, header version %d\n", quorva_version(),
                QUORVA_VERSION_NUMBER);
        return 1;
    }
    if (argc != 2 || !(file = quorva_open(argv[1], "r"))) {
        perror("quorva_open");
        return 1;
    }
    if (quorva_binheader(file, bin) != 0) {
        perror("quorva_binheader");
        return 1;
    }
    int64_t trace0 = quorva_trace0(bin);
    int size = quorva_trsize(quorva_format(bin), quorva_samples(bin));
    if (quorva_traces(file, &traces, trace0, size) != 0 ||
        quorva_traceheader(file, traces - 1, trace, trace0, size) != 0 ||
        quorva_get_field(trace, 189, &iline) != 0) {
        perror("trace header");
        return 1;
    }
    printf("quorva %d.%d: %d samples, %d traces, last inline %d\n", QUORVA_VERSION_MAJOR,
           QUORVA_VERSION_MINOR, quorva_samples(bin), traces, iline);
    quorva_close(file);
    return 0;
}
