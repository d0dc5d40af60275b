// SPDX-License-Identifier: MIT
// quorva-showtext: copy the textual headers of SEG-Y files to standard output, 40 lines of 80.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <getopt.h> // getopt_long, struct option

#include "common.h"
#include "quorva.h"

static constexpr char usage_text[] =
    "Usage: quorva-showtext [OPTION]... [FILE]...\n"
    "Concatenate the textual header(s) from FILE(s) to standard output.\n"
    "\n"
    "-n, --num        the textual header to show, starts at 0\n"
    "-a, --all        all textual headers\n"
    "-s, --strict     abort if a header or file is not found\n"
    "                 primarily meant for shell scripts\n"
    "-S, --nonstrict  ignore missing headers\n"
    "                 this is the default behaviour\n"
    "    --version    output version information and exit\n"
    "    --help       display this help and exit\n"
    "\n"
    "By default, only the non-extended header is printed, which is\n"
    "equivalent to --num 0\n";

static constexpr char short_options[] = "n:asS";

static constexpr int exit_bad_argument = 22;
static constexpr int exit_missing_operand = 2;
static constexpr int exit_missing_file = 2;
static constexpr int exit_unreadable_binary = 1;
static constexpr int exit_out_of_range = 22;

static constexpr int initial_index_capacity = 32;
static constexpr int text_lines = 40;
static constexpr int text_columns = 80;
static_assert(text_lines * text_columns == QUORVA_TEXTHEADER_SIZE, "cards tile the header");

// The headers to print from the current file: 0 is the mandatory one, k the k-th extended one.
struct header_selection {
    int32_t *header_indices;
    size_t index_count;
    size_t index_capacity;
};

// The exit status for a failure that reports errno. A zero errno, or one the shell would see
// as 0, must not turn the failure into a success.
static int
errno_status(int saved)
{
    return (saved & 0xFF) != 0 ? saved : EIO;
}

// Reads a -n argument into *index: 0 when it is a usable header index, 1 when it is not an
// integer, 2 when it is negative. Only the low 32 bits of a number would make 4294967297 name
// header 1 and -4294967295 pass as header 1; the whole number decides here, and one beyond any
// header index becomes the largest index, which no file has.
static int
parse_header_index(const char *text, int32_t *index)
{
    int result = parse_count_whole(text, index);
    return result == 3 ? 0 : result;
}

static void
list_all_headers(header_selection *selection, int32_t extended)
{
    size_t last = static_cast<size_t>(extended);
    if (last >= selection->index_capacity) {
        // The list must hold 0 to E, E + 1 entries; doubling E alone would not when E is 0.
        size_t capacity = 2 * last > last ? 2 * last : last + 1;
        void *grown = std::realloc(selection->header_indices, capacity * sizeof(int32_t));
        if (!grown) {
            int saved = errno;
            std::exit(report_failure(errno_status(saved), "Unable to alloc"));
        }
        selection->header_indices = static_cast<int32_t *>(grown);
        selection->index_capacity = capacity;
    }
    for (size_t i = 0; i <= last; ++i)
        selection->header_indices[i] = static_cast<int32_t>(i);
    selection->index_count = last + 1;
}

static void
print_text(const char *text)
{
    for (int line = 0; line < text_lines; ++line) {
        for (int column = 0; column < text_columns; ++column)
            std::putc(text[line * text_columns + column], stdout);
        std::putc('\n', stdout);
    }
}

static void
print_header(quorva_file *file, int32_t index, char *text)
{
    int result = index == 0 ? quorva_read_textheader(file, text)
                            : quorva_read_ext_textheader(file, index - 1, text);
    if (result != 0) {
        int saved = errno;
        std::exit(report_failure(errno_status(saved), "Unable to read header"));
    }
    print_text(text);
}

static void
print_file(const char *path, header_selection *selection, bool all_headers, bool strict,
           char *binheader, char *text)
{
    quorva_file *file = quorva_open(path, "r");
    if (!file) {
        // Written straight to the unbuffered stream, without flushing the headers before it.
        std::fprintf(stderr, "quorva-showtext: %s: No such file or directory\n", path);
        if (strict)
            std::exit(exit_missing_file);
        return;
    }

    int32_t extended = 0;
    if (quorva_binheader(file, binheader) != 0 ||
        quorva_get_bfield(binheader, binary_extended_position, &extended) != 0 || extended < 0)
        std::exit(report_failure(exit_unreadable_binary, "Unable to read binary header"));

    if (all_headers)
        list_all_headers(selection, extended);
    else
        selection->index_count = 1;

    for (size_t i = 0; i < selection->index_count; ++i) {
        int32_t index = selection->header_indices[i];
        if (index < 0 || index > extended) {
            if (strict)
                std::exit(report_failure(exit_out_of_range, "Header index out of range"));
            continue;
        }
        print_header(file, index, text);
    }
    quorva_close(file);
}

int
main(int argc, char **argv)
{
    guard_standard_descriptors();
    // Set straight through the option table; they live for the whole run.
    int all_headers = 0;
    int strict = 0;
    int version = 0;

    // clang-format off
    const struct option long_options[] = {
        {"num",       required_argument, nullptr,      'n'},
        {"all",       no_argument,       &all_headers, 1},
        {"strict",    no_argument,       &strict,      1},
        {"nonstrict", no_argument,       &strict,      0},
        {"version",   no_argument,       &version,     1},
        {"help",      no_argument,       nullptr,      'h'},
        {nullptr,     0,                 nullptr,      0},
    };
    // clang-format on

    header_selection selection = {nullptr, 0, initial_index_capacity};
    selection.header_indices =
        static_cast<int32_t *>(std::calloc(selection.index_capacity, sizeof(int32_t)));
    if (!selection.header_indices) {
        int saved = errno;
        return report_failure(errno_status(saved), "Unable to alloc");
    }

    opterr = 1;
    int ch;
    while ((ch = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (ch) {
        case 0:
            break;
        case 'n':
            if (version)
                break;
            switch (parse_header_index(optarg, &selection.header_indices[0])) {
            case 1:
                return report_failure(exit_bad_argument, "num must be an integer");
            case 2:
                return report_failure(exit_bad_argument, "num must be non-negative");
            }
            break;
        case 'a':
            all_headers = 1;
            break;
        case 's':
            strict = 1;
            break;
        case 'S':
            strict = 0;
            break;
        default:
            std::puts(usage_text);
            std::free(selection.header_indices);
            return finish_output(0);
        }
    }
    argc -= optind;
    argv += optind;

    if (version) {
        std::free(selection.header_indices);
        return finish_output(print_version("quorva-showtext"));
    }
    if (argc == 0)
        return report_failure(exit_missing_operand,
                              "missing file operand\n"
                              "Try 'quorva-showtext --help' for more information.");

    char binheader[QUORVA_BINHEADER_SIZE] = {};
    char text[QUORVA_TEXTHEADER_SIZE + 1] = {};
    for (int i = 0; i < argc; ++i)
        print_file(argv[i], &selection, all_headers != 0, strict != 0, binheader, text);

    std::free(selection.header_indices);
    return finish_output(0);
}
