// SPDX-License-Identifier: MIT
// quorva-showbin: print the binary header fields of SEG-Y files with Seismic Unix keywords.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <getopt.h> // getopt_long, struct option
#include <iterator>

#include "common.h"
#include "quorva.h"

static constexpr char usage_text[] =
    "Usage: quorva-showbin [OPTION]... [FILE]...\n"
    "Concatenate the binary header from FILE(s) to seismic unix output.\n"
    "\n"
    "-n,  --nonzero       only print fields with non-zero values\n"
    "-d,  --description   print with byte offset and field description\n"
    "     --version       output version information and exit\n"
    "     --help          display this help and exit\n"
    "\n";

static constexpr char short_options[] = "nd";

// clang-format off
static const struct option long_options[] = {
    {"version",     no_argument, nullptr, 'V'},
    {"help",        no_argument, nullptr, 'h'},
    {"description", no_argument, nullptr, 'd'},
    {"nonzero",     no_argument, nullptr, 'n'},
    {nullptr,       0,           nullptr, 0},
};
// clang-format on

static constexpr int exit_missing_argument = 2;
static constexpr int exit_unreadable = 1;

struct binary_field {
    const char *keyword;
    int32_t position;
    const char *description;
};

// clang-format off
static constexpr binary_field binary_fields[] = {
    {"jobid",  3201, "Job identification number"},
    {"lino",   3205, "Line number"},
    {"reno",   3209, "Reel number"},
    {"ntrpr",  3213, "Number of data traces per ensemble"},
    {"nart",   3215, "Number of auxiliary traces per ensemble"},
    {"hdt",    3217, "Sample interval in microseconds (\u03BCs)"},
    {"dto",    3219, "Sample interval in microseconds (\u03BCs) of original field recording"},
    {"hns",    3221, "Number of samples per data trace"},
    {"nso",    3223, "Number of samples per data trace for original field recording"},
    {"format", 3225, "Data sample format code"},
    {"fold",   3227, "Ensemble fold"},
    {"tsort",  3229, "Trace sorting code"},
    {"vscode", 3231, "Vertical sum code"},
    {"hsfs",   3233, "Sweep frequency at start (Hz)"},
    {"hsfe",   3235, "Sweep frequency at end (Hz)"},
    {"hslen",  3237, "Sweep length (ms)"},
    {"hstyp",  3239, "Sweep type code"},
    {"schn",   3241, "Trace number of sweep channel"},
    {"hstas",  3243, "Sweep trace taper length in milliseconds at start if tapered"},
    {"hstae",  3245, "Sweep trace taper length in milliseconds at end"},
    {"htatyp", 3247, "Taper type"},
    {"hcorr",  3249, "Correlated data traces"},
    {"bgrcv",  3251, "Binary gain recovered"},
    {"rcvm",   3253, "Amplitude recovery method"},
    {"mfeet",  3255, "Measurement system"},
    {"polyt",  3257, "Impulse signal polarity"},
    {"vpol",   3259, "Vibratory polarity code"},
    {"rev",    3501, "SEG Y Format Revision Number"},
    {"trflag", 3503, "Fixed length trace flag"},
    {"exth",   3505, "Number of 3200-byte, Extended Textual File Headers"},
};
// clang-format on

static constexpr bool
positions_rise_within_header()
{
    int32_t previous = QUORVA_BINHEADER_POSITION - 1;
    for (const binary_field &f : binary_fields) {
        if (f.position <= previous || f.position > 3600)
            return false;
        previous = f.position;
    }
    return true;
}

static_assert(std::size(binary_fields) == 30, "row count");
static_assert(positions_rise_within_header(), "positions rise strictly inside 3201-3600");

// The two sample counts are unsigned 16-bit numbers in the header.
static constexpr bool
is_unsigned_field(int32_t position)
{
    return position == 3221 || position == 3223;
}

// The 1-based offset of a field inside the 400-byte binary header.
static constexpr int32_t
header_offset(int32_t position)
{
    return position - (QUORVA_BINHEADER_POSITION - 1);
}

static void
print_fields(const char *binheader, bool describe, bool nonzero)
{
    for (const binary_field &f : binary_fields) {
        int value = 0;
        quorva_get_bfield(binheader, f.position, &value);
        if (is_unsigned_field(f.position))
            value &= 0xFFFF;
        if (nonzero && value == 0)
            continue;
        if (describe)
            std::printf("%s\t%d\t%d\t%s\n", f.keyword, value, header_offset(f.position),
                        f.description);
        else
            std::printf("%s\t%d\n", f.keyword, value);
    }
}

int
main(int argc, char **argv)
{
    guard_standard_descriptors();
    if (argc == 1) {
        int status = report_failure(exit_missing_argument, "Missing argument\n");
        std::puts(usage_text);
        return finish_output(status);
    }

    bool describe = false;
    bool nonzero = false;
    opterr = 1;
    int ch;
    while ((ch = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (ch) {
        case 'V':
            return finish_output(print_version("quorva-showbin"));
        case 'd':
            describe = true;
            break;
        case 'n':
            nonzero = true;
            break;
        default:
            std::puts(usage_text);
            return finish_output(0);
        }
    }

    for (int i = optind; i < argc; ++i) {
        quorva_file *file = quorva_open(argv[i], "r");
        if (!file)
            return report_failure(exit_unreadable, "No such file or directory");
        char binheader[QUORVA_BINHEADER_SIZE];
        if (quorva_binheader(file, binheader) != 0)
            return report_failure(exit_unreadable, "Unable to read binary header");
        print_fields(binheader, describe, nonzero);
        quorva_close(file);
    }
    return finish_output(0);
}
