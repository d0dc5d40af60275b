// SPDX-License-Identifier: MIT
// quorva-showtrace: print the trace header fields of chosen traces of one SEG-Y file.

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h> // getopt_long, struct option, optind

#include "common.h"
#include "quorva.h"
#include "trace_fields.h"

static constexpr char usage_text[] =
    "Usage: quorva-showtrace [OPTION]... FILE\n"
    "Print specific trace headers from FILE\n"
    "\n"
    "-t,  --trace=NUMBER          trace to print\n"
    "-r,  --range START STOP STEP range of traces to print\n"
    "-f,  --format=FORMAT         override sample format. defaults to inferring\n"
    "                             from the binary header.\n"
    "                             formats: ibm ieee short long char\n"
    "-s,  --strict                fail on unreadable tracefields\n"
    "-S,  --non-strict            don't fail on unreadable tracefields\n"
    "                             this is the default behaviour\n"
    "-n,  --nonzero               only print fields with non-zero values\n"
    "-d,  --description           print with byte offset and field description\n"
    "-k,  --quorva                print with quorva tracefield names\n"
    "-v,  --verbose               increase verbosity\n"
    "     --version               output version information and exit\n"
    "     --help                  display this help and exit\n"
    "\n"
    "the -r flag takes up to three values: start, stop, step\n"
    "where all values are defaulted to zero\n"
    "flags -r and -t can be used multiple times\n";

static constexpr char short_options[] = "sSkdnvt:r:f:";

// clang-format off
static const struct option long_options[] = {
    {"trace",       required_argument, nullptr, 't'},
    {"range",       required_argument, nullptr, 'r'},
    {"format",      required_argument, nullptr, 'f'},
    {"quorva",      no_argument,       nullptr, 'k'},
    {"strict",      no_argument,       nullptr, 's'},
    {"non-strict",  no_argument,       nullptr, 'S'},
    {"description", no_argument,       nullptr, 'd'},
    {"nonzero",     no_argument,       nullptr, 'n'},
    {"verbose",     no_argument,       nullptr, 'v'},
    {"version",     no_argument,       nullptr, 'V'},
    {"help",        no_argument,       nullptr, 'h'},
    {nullptr,       0,                 nullptr, 0},
};
// clang-format on

static constexpr int exit_bad_argument = 22;
// The shell sees 253.
static constexpr int exit_out_of_range = -3;
// A strict walk past the last trace follows only successful calls, so errno may well be 0;
// this stands in for it then, because such a run must not look like a success.
static constexpr int exit_past_last_trace = ERANGE;

// The results of parse_count_whole that the parser tells apart; numbers beyond 32 bits are
// refused, since they would otherwise pass as a different, smaller trace number.
static constexpr int count_ok = 0;
static constexpr int count_not_integer = 1;

static constexpr std::size_t initial_range_capacity = 32;

// One selection of traces; 0 in stop or step means "not given".
struct trace_range {
    int32_t start;
    int32_t stop;
    int32_t step;
};

struct range_list {
    trace_range *items;
    std::size_t count;
    std::size_t capacity;
};

struct showtrace_settings {
    bool strict;
    bool nonzero_only;
    bool print_description;
    bool library_names;
    int32_t format;
    const char *path;
    range_list ranges;
};

struct trace_geometry {
    int32_t trace_size;
    int64_t trace0;
    int32_t traces;
};

// Reads up to three integers from the front of text as sscanf(text, " %d %d %d") does: EOF
// for a blank text, otherwise how many were read, ignoring whatever follows them. Unlike %d
// it has a defined answer for numbers beyond 32 bits: those below clamp to the smallest
// value, still negative, and one above ends the run.
static int
scan_range_values(const char *text, int32_t values[3])
{
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '\0')
        return EOF;
    int n = 0;
    while (n < 3) {
        char *end = nullptr;
        long value = std::strtol(p, &end, 10);
        if (end == p)
            break;
        if (value > INT32_MAX)
            std::exit(
                report_failure(exit_bad_argument, "range parameters must be at most 2147483647"));
        values[n++] = value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
        p = end;
    }
    return n;
}

// Fills a -r selection from its own argument, then from the words after it while they are
// whole numbers; the words taken are skipped for getopt_long by advancing optind. Those words
// lie between the option and optind, so when getopt_long later moves operands that came
// before the option behind the options, it moves them along with the option.
static void
parse_range(const char *argument, int argc, char **argv, trace_range *range)
{
    int32_t values[3] = {0, 0, 0};
    int n = scan_range_values(argument, values);
    if (n == EOF)
        std::exit(report_failure(exit_bad_argument, "input error while parsing range parameters"));
    if (n >= 1 && (values[0] < 0 || values[1] < 0 || values[2] < 0))
        std::exit(report_failure(exit_bad_argument, "range parameters must be positive"));
    if (values[0] == 0)
        std::exit(report_failure(exit_out_of_range, "out of range"));
    while (n < 3 && optind < argc) {
        // Only a whole number is taken: the digits that begin a file name such as 1.sgy are not.
        int32_t value = 0;
        int result = parse_count_whole(argv[optind], &value);
        if (result == count_not_integer)
            break;
        if (result != count_ok)
            std::exit(report_failure(exit_bad_argument, count_message(result)));
        values[n++] = value;
        ++optind;
    }
    *range = {values[0], values[1], values[2]};
}

static void
parse_trace(const char *argument, trace_range *range)
{
    int32_t number = 0;
    int result = parse_count_whole(argument, &number);
    if (result != count_ok)
        std::exit(report_failure(exit_bad_argument, count_message(result)));
    if (number == 0)
        std::exit(report_failure(exit_out_of_range, "out of range"));
    *range = {number, number, 0};
}

// The next free slot, cleared; the caller counts it once it is filled.
static trace_range *
next_range(range_list *ranges)
{
    if (ranges->count == ranges->capacity) {
        std::size_t capacity = ranges->capacity * 2;
        void *grown = std::realloc(ranges->items, capacity * sizeof(trace_range));
        if (!grown)
            std::exit(report_failure(exit_bad_argument, "Unable to reallocate memory"));
        ranges->items = static_cast<trace_range *>(grown);
        ranges->capacity = capacity;
    }
    trace_range *range = &ranges->items[ranges->count];
    *range = {0, 0, 0};
    return range;
}

// With no -t and no -r, the one cleared slot stands for trace 1.
static std::size_t
ranges_in_use(const range_list *ranges)
{
    return ranges->count == 0 ? 1 : ranges->count;
}

static trace_geometry
read_geometry(quorva_file *file, int32_t format)
{
    char binheader[QUORVA_BINHEADER_SIZE];
    if (quorva_binheader(file, binheader) != 0) {
        int error = errno;
        std::exit(report_failure(error, "Unable to read binheader"));
    }
    int32_t samples = quorva_samples(binheader);
    int32_t code = usable_format(format != 0 ? format : quorva_format(binheader));
    trace_geometry geometry;
    geometry.trace_size = quorva_trsize(code, samples);
    geometry.trace0 = quorva_trace0(binheader);
    // A negative sample count gives a negative trace size, which the library refuses.
    if (quorva_traces(file, &geometry.traces, geometry.trace0, geometry.trace_size) != 0) {
        int error = errno;
        std::exit(report_failure(error, "Unable to determine number of traces in file"));
    }
    return geometry;
}

static void
complete_range(trace_range *range)
{
    if (range->start == 0)
        range->start = 1;
    if (range->stop == 0)
        range->stop = range->start;
    if (range->step == 0)
        range->step = 1;
}

// The longest listing line: name, value, position and description, three tabs and a newline;
// the value and the position are 32-bit numbers of at most 11 characters.
static constexpr std::size_t number_max = 11;
static constexpr std::size_t listing_line_max =
    trace_field_name_max + number_max + number_max + trace_field_description_max + 4;

static char *
put_text(char *out, const char *text)
{
    std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

// Writes value as printf's "%d" does.
static char *
put_number(char *out, int32_t value)
{
    char digits[number_max];
    char *p = digits + sizeof digits;
    // Unsigned, so that the smallest value has a magnitude too.
    uint32_t magnitude =
        value < 0 ? 0U - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--p = '-';
    std::size_t n = static_cast<std::size_t>(digits + sizeof digits - p);
    std::memcpy(out, p, n);
    return out + n;
}

// The listing of one trace is formatted by hand into one buffer and handed to standard output
// in one piece: printf spent four fifths of the run parsing its format 91 times a trace.
static void
print_fields(const char *header, const showtrace_settings *settings)
{
    static char listing[trace_field_count * listing_line_max];
    char *out = listing;
    for (const trace_field &f : trace_fields) {
        int value = 0;
        quorva_get_field(header, f.position, &value);
        if (settings->nonzero_only && value == 0)
            continue;
        out = put_text(out, settings->library_names ? f.library_name : f.mnemonic);
        *out++ = '\t';
        out = put_number(out, value);
        if (settings->print_description) {
            *out++ = '\t';
            out = put_number(out, f.position);
            *out++ = '\t';
            out = put_text(out, f.description);
        }
        *out++ = '\n';
    }
    std::fwrite(listing, 1, static_cast<std::size_t>(out - listing), stdout);
}

static void
print_range(quorva_file *file, const trace_geometry *geometry, const trace_range *range,
            const showtrace_settings *settings)
{
    char header[QUORVA_TRACEHEADER_SIZE];
    for (int32_t number = range->start; number <= range->stop;) {
        if (number > geometry->traces) {
            if (!settings->strict)
                return;
            int error = errno != 0 ? errno : exit_past_last_trace;
            std::exit(print_error_detail(error, "Unable to read traceheader", "out of range"));
        }
        if (quorva_traceheader(file, number - 1, header, geometry->trace0, geometry->trace_size) !=
            0) {
            int error = errno;
            std::exit(report_failure(error, "Unable to read trace header"));
        }
        print_fields(header, settings);
        // The next number would not fit in 32 bits, so it lies past any stop.
        if (number > INT32_MAX - range->step)
            return;
        number += range->step;
    }
}

int
main(int argc, char **argv)
{
    guard_standard_descriptors();
    showtrace_settings settings = {false, false, false, false, 0, nullptr, {nullptr, 0, 0}};
    settings.ranges.items =
        static_cast<trace_range *>(std::calloc(initial_range_capacity, sizeof(trace_range)));
    if (!settings.ranges.items)
        return report_failure(exit_bad_argument, "Unable to reallocate memory");
    settings.ranges.capacity = initial_range_capacity;

    opterr = 1;
    int ch;
    while ((ch = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (ch) {
        case 't':
            parse_trace(optarg, next_range(&settings.ranges));
            ++settings.ranges.count;
            break;
        case 'r':
            parse_range(optarg, argc, argv, next_range(&settings.ranges));
            ++settings.ranges.count;
            break;
        case 'f':
            settings.format = format_option(optarg, settings.format);
            if (settings.format == 0)
                return report_failure(exit_bad_argument, invalid_format_message);
            break;
        case 'k':
            settings.library_names = true;
            break;
        case 's':
            settings.strict = true;
            break;
        case 'S':
            settings.strict = false;
            break;
        case 'd':
            settings.print_description = true;
            break;
        case 'n':
            settings.nonzero_only = true;
            break;
        case 'v':
            break;
        case 'V':
            std::free(settings.ranges.items);
            return finish_output(print_version("quorva-showtrace"));
        default:
            std::free(settings.ranges.items);
            std::puts(usage_text);
            return finish_output(0);
        }
    }

    if (argc - optind != 1) {
        print_error("Wrong number of files");
        return report_failure(exit_bad_argument, "");
    }
    settings.path = argv[optind];
    std::size_t in_use = ranges_in_use(&settings.ranges);
    if (settings.strict) {
        for (std::size_t i = 0; i < in_use; ++i) {
            const trace_range &r = settings.ranges.items[i];
            if ((r.stop != 0 || r.step != 0) && r.stop < r.start)
                return report_failure(exit_out_of_range, "Range is empty");
        }
    }

    quorva_file *file = quorva_open(settings.path, "r");
    if (!file) {
        int error = errno;
        return print_error_detail(error, "Unable to open src", std::strerror(error));
    }
    trace_geometry geometry = read_geometry(file, settings.format);
    for (std::size_t i = 0; i < in_use; ++i) {
        complete_range(&settings.ranges.items[i]);
        print_range(file, &geometry, &settings.ranges.items[i], &settings);
    }

    std::free(settings.ranges.items);
    quorva_close(file);
    return finish_output(0);
}
