// SPDX-License-Identifier: MIT
// quorva-scan: summarize SEG-Y files in one forward pass: geometry, sorting and consistency.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <getopt.h> // getopt_long, struct option
#include <numeric>
#include <unistd.h>

#include "common.h"
#include "quorva.h"
#include "trace_fields.h"

static constexpr char usage_text[] =
    "Usage: quorva-scan [OPTION]... FILE...\n"
    "Summarize each SEG-Y FILE in one pass: geometry, sorting and consistency\n"
    "\n"
    "-b, --il=BYTE              inline header word byte offset (default 189)\n"
    "-B, --xl=BYTE              crossline header word byte offset (default 193)\n"
    "-f, --format=FORMAT        override sample format. defaults to inferring\n"
    "                           from the binary header.\n"
    "                           formats: ibm ieee short long char\n"
    "-a, --all-fields           also list every trace header field that is\n"
    "                           non-zero in some trace\n"
    "-j, --json                 print one JSON object per file, each on one line\n"
    "    --version              output version information and exit\n"
    "    --help                 display this help and exit\n";

static constexpr char short_options[] = "b:B:f:aj";

// clang-format off
static const struct option long_options[] = {
    {"il",         required_argument, nullptr, 'b'},
    {"xl",         required_argument, nullptr, 'B'},
    {"format",     required_argument, nullptr, 'f'},
    {"all-fields", no_argument,       nullptr, 'a'},
    {"json",       no_argument,       nullptr, 'j'},
    {"version",    no_argument,       nullptr, 'V'},
    {"help",       no_argument,       nullptr, 'h'},
    {nullptr,      0,                 nullptr, 0},
};
// clang-format on

static constexpr int exit_usage = 2;
static constexpr int exit_bad_argument = 22;
static constexpr int exit_malformed = EINVAL;
static_assert(exit_malformed == 22, "a malformed file ends the run as a bad argument does");

static_assert(QUORVA_TRACE0_MIN == QUORVA_TEXTHEADER_SIZE + QUORVA_BINHEADER_SIZE,
              "the binary header follows the textual header");

struct scan_options {
    int32_t il_byte = 189;
    int32_t xl_byte = 193;
    int32_t format = 0;
    bool all_fields = false;
    bool json = false;
};

// The numbers of one header word over the traces, in file order.
struct line_numbers {
    int32_t min;
    int32_t max;
    int32_t last;
    uint64_t step; // greatest common divisor of the non-zero differences of successive traces
};

// Whether the traces follow one line number that never decreases, with the other number
// strictly rising or strictly falling within each run of equal first numbers.
struct line_order {
    bool holds;
    int direction; // within the current run: 1 rising, -1 falling, 0 not yet known
};

struct field_values {
    int32_t min;
    int32_t max;
    int32_t first;
    int32_t last;
};

struct file_summary {
    int64_t size;
    bool ascii;
    int32_t extended;
    int32_t format;
    int32_t samples;
    int32_t interval;
    int64_t trace_bytes; // header and samples of one trace
    int64_t traces;
    int64_t trailing;
    line_numbers iline;
    line_numbers xline;
    line_order inline_order;
    line_order crossline_order;
    field_values delay;
    int64_t sample_count_mismatch;
    int64_t interval_mismatch;
    field_values fields[trace_field_count]; // with --all-fields only
};

static int32_t
field_value(const char *header, int32_t position)
{
    int value = 0;
    quorva_get_field(header, position, &value);
    return value;
}

static void
follow_numbers(line_numbers *numbers, int32_t value, bool first)
{
    if (first) {
        *numbers = {value, value, value, 0};
        return;
    }
    if (value < numbers->min)
        numbers->min = value;
    if (value > numbers->max)
        numbers->max = value;
    int64_t difference = int64_t{value} - numbers->last;
    // A step of 1 can fall no further.
    if (difference != 0 && numbers->step != 1)
        numbers->step = std::gcd(numbers->step,
                                 static_cast<uint64_t>(difference < 0 ? -difference : difference));
    numbers->last = value;
}

static void
follow_order(line_order *order, int32_t line, int32_t previous_line, int32_t across,
             int32_t previous_across)
{
    if (!order->holds)
        return;
    if (line != previous_line) {
        order->holds = line > previous_line;
        order->direction = 0;
        return;
    }
    int direction = across > previous_across ? 1 : across < previous_across ? -1 : 0;
    if (direction == 0 || (order->direction != 0 && direction != order->direction))
        order->holds = false;
    order->direction = direction;
}

// The words of one trace header that the summary follows; with --all-fields, every field.
struct trace_values {
    int32_t iline;
    int32_t xline;
    int32_t delay;
    int32_t samples;
    int32_t interval;
    int32_t fields[trace_field_count];
};

static void
read_values(const char *header, const scan_options *options, trace_values *values)
{
    values->iline = field_value(header, options->il_byte);
    values->xline = field_value(header, options->xl_byte);
    values->delay = field_value(header, delay_position);
    values->samples = field_value(header, trace_samples_position);
    values->interval = field_value(header, trace_interval_position);
    if (options->all_fields)
        for (std::size_t i = 0; i < trace_field_count; ++i)
            values->fields[i] = field_value(header, trace_fields[i].position);
}

// Takes one more trace's value of a field into its range.
static void
follow_value(field_values *f, int32_t value, bool first)
{
    if (first) {
        *f = {value, value, value, value};
        return;
    }
    f->min = std::min(f->min, value);
    f->max = std::max(f->max, value);
    f->last = value;
}

static void
add_trace(file_summary *summary, const trace_values *values, const scan_options *options)
{
    bool first = summary->traces == 0;
    if (!first) {
        follow_order(&summary->inline_order, values->iline, summary->iline.last, values->xline,
                     summary->xline.last);
        follow_order(&summary->crossline_order, values->xline, summary->xline.last, values->iline,
                     summary->iline.last);
    }
    follow_numbers(&summary->iline, values->iline, first);
    follow_numbers(&summary->xline, values->xline, first);

    follow_value(&summary->delay, values->delay, first);
    if (values->samples != summary->samples)
        ++summary->sample_count_mismatch;
    if (values->interval != 0 && values->interval != summary->interval)
        ++summary->interval_mismatch;

    if (options->all_fields) {
        for (std::size_t i = 0; i < trace_field_count; ++i)
            follow_value(&summary->fields[i], values->fields[i], first);
    }
    ++summary->traces;
}

// One diagnostic line, "quorva-scan: NAME: REASON"; returns code.
static int
file_failure(const char *name, int code, const char *reason)
{
    print_error_detail(code, "quorva-scan", nullptr);
    return print_error_detail(code, name, reason);
}

static int
system_failure(const char *name)
{
    int error = errno != 0 ? errno : EIO;
    return file_failure(name, error, std::strerror(error));
}

// Reads the headers, then every trace header in turn; the samples are skipped.
static int
scan_input(quorva_reader *reader, const char *name, const scan_options *options,
           file_summary *summary)
{
    std::size_t got = 0;
    const char *headers = quorva_reader_peek(reader, QUORVA_TRACE0_MIN, &got);
    if (!headers)
        return system_failure(name);
    if (got < QUORVA_TRACE0_MIN)
        return file_failure(name, exit_malformed, "shorter than its headers");
    summary->ascii = quorva_is_ascii_text(headers);
    char binheader[QUORVA_BINHEADER_SIZE];
    std::memcpy(binheader, headers + QUORVA_TEXTHEADER_SIZE, sizeof binheader);
    if (quorva_reader_skip(reader, QUORVA_TRACE0_MIN, nullptr) != 0)
        return system_failure(name);

    quorva_get_bfield(binheader, binary_extended_position, &summary->extended);
    if (summary->extended < 0)
        return file_failure(name, exit_malformed, "negative extended header count");
    int64_t skipped = 0;
    int64_t extended_bytes = quorva_trace0(binheader) - QUORVA_TRACE0_MIN;
    if (quorva_reader_skip(reader, extended_bytes, &skipped) != 0)
        return system_failure(name);
    if (skipped < extended_bytes)
        return file_failure(name, exit_malformed, "shorter than its headers");

    quorva_get_bfield(binheader, binary_samples_position, &summary->samples);
    quorva_get_bfield(binheader, binary_interval_position, &summary->interval);
    if (summary->samples < 0)
        return file_failure(name, exit_malformed, "negative sample count");
    summary->format =
        usable_format(options->format != 0 ? options->format : quorva_format(binheader));
    int trace_size = quorva_trsize(summary->format, summary->samples);
    if (trace_size < 0)
        return file_failure(name, exit_malformed, "trace size out of range");
    summary->trace_bytes = int64_t{QUORVA_TRACEHEADER_SIZE} + trace_size;
    const int64_t trace_bytes = summary->trace_bytes;
    trace_values values;
    for (;;) {
        const char *header = quorva_reader_peek(reader, QUORVA_TRACEHEADER_SIZE, &got);
        if (!header)
            return system_failure(name);
        if (got < QUORVA_TRACEHEADER_SIZE) {
            // The input ends inside this header; nothing but the bytes in front is left.
            summary->trailing = static_cast<int64_t>(got);
            quorva_reader_skip(reader, summary->trailing, nullptr);
            break;
        }
        // Read before the skip, which may move the buffer; counted once the trace proves whole.
        read_values(header, options, &values);
        if (quorva_reader_skip(reader, trace_bytes, &skipped) != 0)
            return system_failure(name);
        if (skipped < trace_bytes) {
            summary->trailing = skipped;
            break;
        }
        add_trace(summary, &values, options);
    }
    summary->size = quorva_reader_tell(reader);
    return 0;
}

static int
scan_file(const char *name, const scan_options *options, file_summary *summary)
{
    *summary = {};
    summary->inline_order = {true, 0};
    summary->crossline_order = {true, 0};
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return system_failure(name);
    quorva_reader *reader = quorva_reader_new(fd);
    if (!reader) {
        int status = system_failure(name);
        close(fd);
        return status;
    }
    int status = scan_input(reader, name, options, summary);
    quorva_reader_free(reader);
    close(fd);
    return status;
}

// The length of the UTF-8 sequence at p, or, where none is, minus the length of the longest
// start of one that breaks off there (at least 1): those bytes stand for one U+FFFD, as UTF-8
// decoders replace them.
static int
utf8_length(const unsigned char *p)
{
    unsigned lead = p[0];
    unsigned low = 0x80;
    unsigned high = 0xBF;
    int length = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;   // no overlong forms
        high = lead == 0xED ? 0x9F : high; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high; // nothing above U+10FFFF
    } else {
        return -1;
    }
    if (p[1] < low || p[1] > high)
        return -1;
    // A NUL ends the text and is no continuation byte, so nothing past it is read.
    for (int i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return -i;
    return length;
}

// A file name is any string of bytes; bytes that are not UTF-8 become U+FFFD, so that the line
// stays valid JSON.
static void
print_json_string(const char *text)
{
    std::putchar('"');
    for (auto *p = reinterpret_cast<const unsigned char *>(text); *p != '\0';) {
        int length = utf8_length(p);
        if (length < 0) {
            std::fputs("\\ufffd", stdout);
            p += -length;
            continue;
        }
        if (*p == '"' || *p == '\\')
            std::printf("\\%c", *p);
        else if (*p < 0x20)
            std::printf("\\u%04x", *p);
        else
            std::fwrite(p, 1, static_cast<std::size_t>(length), stdout);
        p += length;
    }
    std::putchar('"');
}

// The start of one entry: "key<TAB>" on a line of its own, or the JSON member name.
static void
print_key(const scan_options *options, const char *key)
{
    if (options->json)
        std::printf(", \"%s\": ", key);
    else
        std::printf("%s\t", key);
}

static void
end_entry(const scan_options *options)
{
    if (!options->json)
        std::putchar('\n');
}

static void
print_number(const scan_options *options, const char *key, long long value)
{
    print_key(options, key);
    std::printf("%lld", value);
    end_entry(options);
}

static void
print_word(const scan_options *options, const char *key, const char *word)
{
    print_key(options, key);
    std::printf(options->json ? "\"%s\"" : "%s", word);
    end_entry(options);
}

static void
print_numbers(const scan_options *options, const char *key, const line_numbers *numbers)
{
    print_key(options, key);
    std::printf(options->json ? "{\"min\": %d, \"max\": %d, \"step\": %llu}" : "%d\t%d\t%llu",
                numbers->min, numbers->max, static_cast<unsigned long long>(numbers->step));
    end_entry(options);
}

// Lines in a range of numbers; a step of 0 is one line.
static uint64_t
line_count(const line_numbers *numbers)
{
    if (numbers->step == 0)
        return 1;
    return static_cast<uint64_t>(int64_t{numbers->max} - numbers->min) / numbers->step + 1;
}

static bool
is_regular(const file_summary *summary)
{
    if (!summary->inline_order.holds && !summary->crossline_order.holds)
        return false;
    // Each count is at most 2^32, so their product is compared by division.
    uint64_t ilines = line_count(&summary->iline);
    uint64_t xlines = line_count(&summary->xline);
    auto traces = static_cast<uint64_t>(summary->traces);
    return traces % xlines == 0 && traces / xlines == ilines;
}

static void
print_fields(const scan_options *options, const file_summary *summary)
{
    if (options->json)
        std::fputs(", \"fields\": {", stdout);
    const char *separator = "";
    for (std::size_t i = 0; i < trace_field_count; ++i) {
        const field_values *f = &summary->fields[i];
        // Every value lies between the two: a field is zero in every trace when both are.
        if (f->min == 0 && f->max == 0)
            continue;
        if (options->json)
            std::printf("%s\"%s\": {\"min\": %d, \"max\": %d, \"first\": %d, \"last\": %d}",
                        separator, trace_fields[i].mnemonic, f->min, f->max, f->first, f->last);
        else
            std::printf("field\t%s\t%d\t%d\t%d\t%d\n", trace_fields[i].mnemonic, f->min, f->max,
                        f->first, f->last);
        separator = ", ";
    }
    if (options->json)
        std::putchar('}');
}

static void
print_summary(const char *name, const scan_options *options, const file_summary *summary)
{
    if (options->json) {
        std::fputs("{\"file\": ", stdout);
        print_json_string(name);
    } else {
        std::printf("file\t%s\n", name);
    }
    print_number(options, "size", summary->size);
    print_word(options, "text_encoding", summary->ascii ? "ascii" : "ebcdic");
    print_number(options, "extended_headers", summary->extended);
    print_key(options, "format");
    std::printf(options->json ? "{\"code\": %d, \"name\": \"%s\"}" : "%d\t%s", summary->format,
                sample_format_name(summary->format));
    end_entry(options);
    print_number(options, "samples", summary->samples);
    print_number(options, "interval", summary->interval);
    print_number(options, "trace_bytes", summary->trace_bytes);
    print_number(options, "traces", summary->traces);
    print_number(options, "trailing_bytes", summary->trailing);
    if (summary->traces > 0) {
        print_numbers(options, "inline", &summary->iline);
        print_numbers(options, "crossline", &summary->xline);
        print_word(options, "sorting",
                   summary->inline_order.holds      ? "inline"
                   : summary->crossline_order.holds ? "crossline"
                                                    : "unsorted");
        bool regular = is_regular(summary);
        print_key(options, "regular");
        std::fputs(options->json ? (regular ? "true" : "false") : (regular ? "yes" : "no"), stdout);
        end_entry(options);
        print_key(options, "delay");
        std::printf(options->json ? "{\"min\": %d, \"max\": %d}" : "%d\t%d", summary->delay.min,
                    summary->delay.max);
        end_entry(options);
        print_number(options, "sample_count_mismatch", summary->sample_count_mismatch);
        print_number(options, "interval_mismatch", summary->interval_mismatch);
        if (options->all_fields)
            print_fields(options, summary);
    }
    if (options->json)
        std::fputs("}\n", stdout);
}

int
main(int argc, char **argv)
{
    guard_standard_descriptors();
    scan_options options;
    opterr = 1;
    int ch;
    while ((ch = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (ch) {
        case 'b':
        case 'B': {
            int result = parse_count_whole(optarg, ch == 'b' ? &options.il_byte : &options.xl_byte);
            if (result != 0)
                return report_failure(exit_bad_argument, count_message(result));
            break;
        }
        case 'f':
            options.format = format_option(optarg, options.format);
            if (options.format == 0)
                return report_failure(exit_bad_argument, invalid_format_message);
            break;
        case 'a':
            options.all_fields = true;
            break;
        case 'j':
            options.json = true;
            break;
        case 'h':
            std::puts(usage_text);
            return finish_output(0);
        case 'V':
            return finish_output(print_version("quorva-scan"));
        default:
            std::puts(usage_text);
            return finish_output(exit_usage);
        }
    }
    if (optind == argc) {
        int status = report_failure(exit_usage, "Missing argument");
        std::puts(usage_text);
        return finish_output(status);
    }
    if (int status = check_byte_positions(options.il_byte, options.xl_byte); status != 0)
        return status;

    // A file that fails is reported and passed over; the run ends with the first failure's status.
    int status = 0;
    bool printed = false;
    static file_summary summary;
    for (int i = optind; i < argc; ++i) {
        if (int result = scan_file(argv[i], &options, &summary); result != 0) {
            status = status != 0 ? status : result;
            continue;
        }
        if (printed && !options.json)
            std::putchar('\n');
        print_summary(argv[i], &options, &summary);
        printed = true;
    }
    return finish_output(status);
}
