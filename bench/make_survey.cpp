// SPDX-License-Identifier: MIT
// Writes a large synthetic SEG-Y survey for the quorva-trim benchmark.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

static constexpr int format_ieee = 5;
static constexpr int sample_bytes = 4;
static constexpr int interval_us = 4000;

static void
put_be(unsigned char *field, int width, int64_t value)
{
    for (int i = 0; i < width; ++i)
        field[i] =
            static_cast<unsigned char>(static_cast<uint64_t>(value) >> (8 * (width - 1 - i)));
}

static void
write_or_die(const void *data, std::size_t size, std::FILE *out)
{
    if (std::fwrite(data, 1, size, out) != size) {
        std::perror("make_survey: write");
        std::exit(1);
    }
}

int
main(int argc, char **argv)
{
    if (argc < 5) {
        std::fputs("usage: quorva-bench-survey PATH ILINES XLINES SAMPLES [sparse]\n"
                   "Inlines run from 1 at byte 189, crosslines from 1 at byte 193. With sparse,\n"
                   "only the headers are written and the samples are left as holes.\n",
                   stderr);
        return 2;
    }
    const long ilines = std::atol(argv[2]);
    const long xlines = std::atol(argv[3]);
    const int samples = std::atoi(argv[4]);
    const bool sparse = argc > 5 && std::strcmp(argv[5], "sparse") == 0;
    if (ilines <= 0 || xlines <= 0 || samples <= 0 || samples > 32767) {
        std::fputs("make_survey: ILINES, XLINES and SAMPLES must be positive, SAMPLES at most "
                   "32767\n",
                   stderr);
        return 2;
    }
    std::FILE *out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    static char buffer[1 << 20];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

    unsigned char text[3200];
    std::memset(text, 0x40, sizeof text); // EBCDIC blanks
    write_or_die(text, sizeof text, out);
    unsigned char binary[400] = {};
    put_be(binary + 3217 - 3201, 2, interval_us);
    put_be(binary + 3221 - 3201, 2, samples);
    put_be(binary + 3225 - 3201, 2, format_ieee);
    put_be(binary + 3501 - 3201, 2, 0x0100);
    write_or_die(binary, sizeof binary, out);

    const std::size_t trace_bytes = static_cast<std::size_t>(samples) * sample_bytes;
    auto *trace = static_cast<unsigned char *>(std::malloc(trace_bytes));
    if (!trace)
        return 1;
    // Varied bytes, so that nothing downstream can profit from runs of zeros.
    for (std::size_t i = 0; i < trace_bytes; ++i)
        trace[i] = static_cast<unsigned char>(i * 131 + 7);
    unsigned char header[240];
    int64_t sequence = 0;
    for (long il = 1; il <= ilines; ++il)
        for (long xl = 1; xl <= xlines; ++xl) {
            std::memset(header, 0, sizeof header);
            put_be(header + 0, 4, ++sequence);
            put_be(header + 4, 4, sequence);
            put_be(header + 114, 2, samples);
            put_be(header + 116, 2, interval_us);
            put_be(header + 188, 4, il);
            put_be(header + 192, 4, xl);
            write_or_die(header, sizeof header, out);
            if (!sparse) {
                write_or_die(trace, trace_bytes, out);
            } else if (fseeko(out, static_cast<off_t>(trace_bytes), SEEK_CUR) != 0) {
                std::perror("make_survey: seek");
                return 1;
            }
        }
    // A hole at the very end would leave the file short of its last trace.
    if (sparse && (fseeko(out, -1, SEEK_CUR) != 0 || std::fputc(0, out) == EOF)) {
        std::perror("make_survey: seek");
        return 1;
    }
    std::free(trace);
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
