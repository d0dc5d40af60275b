// SPDX-License-Identifier: MIT
// quorva-trim: copy the traces of a SEG-Y file that lie inside inline, crossline and time windows.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h> // getopt_long, struct option
#include <iterator>
#include <sys/stat.h>
#include <sys/types.h> // off_t
#include <unistd.h>    // STDOUT_FILENO, STDERR_FILENO

#include "common.h"
#include "quorva.h"
#include "sample_window.h"
#include "trace_fields.h"

static constexpr char usage_text[] =
    "Usage: quorva-trim [OPTION]... SRC DST\n"
    "Copy a sub cube from SRC to DST\n"
    "\n"
    "-i, --iline-begin=LINE     inline to copy from\n"
    "-I, --iline-end=LINE       inline to copy to (inclusive)\n"
    "-x, --xline-begin=LINE     crossline to copy from\n"
    "-X, --xline-end=LINE       crossline to copy to (inclusive)\n"
    "    --inline-begin         alias to --iline-begin\n"
    "    --crossline-begin      alias to --xline-begin\n"
    "-s, --sample-begin=TIME    measurement to copy from\n"
    "-S, --sample-end=TIME      measurement to copy to (inclusive)\n"
    "-f  --format=FORMAT        override sample format. defaults to"
    "                            inferring from the binary header.\n"
    "                           formats: ibm ieee short long char\n"
    "-b, --il                   inline header word byte offset\n"
    "-B, --xl                   crossline header word byte offset\n"
    "-v, --verbose              increase verbosity\n"
    "    --version              output version information and exit\n"
    "    --help                 display this help and exit\n"
    "\n"
    "If no begin/end options are specified, this program is\n"
    "essentially a copy. If a begin option is omitted, the program\n"
    "copies from the start. If an end option is omitted, the program\n"
    "copies until the end.\n";

static constexpr char short_options[] = "vi:I:x:X:f:s:S:b:B:";

// clang-format off
static const struct option long_options[] = {
    {"iline-begin",     required_argument, nullptr, 'i'},
    {"iline-end",       required_argument, nullptr, 'I'},
    {"inline-begin",    required_argument, nullptr, 'i'},
    {"inline-end",      required_argument, nullptr, 'I'},
    {"xline-begin",     required_argument, nullptr, 'x'},
    {"xline-end",       required_argument, nullptr, 'X'},
    {"crossline-begin", required_argument, nullptr, 'x'},
    {"crossline-end",   required_argument, nullptr, 'X'},
    {"sample-begin",    required_argument, nullptr, 's'},
    {"sample-end",      required_argument, nullptr, 'S'},
    {"format",          required_argument, nullptr, 'f'},
    {"il",              required_argument, nullptr, 'b'},
    {"xl",              required_argument, nullptr, 'B'},
    {"verbose",         no_argument,       nullptr, 'v'},
    {"version",         no_argument,       nullptr, 'V'},
    {"help",            no_argument,       nullptr, 'h'},
    {nullptr,           0,                 nullptr, 0},
};
// clang-format on

static constexpr int exit_usage = 2;
static constexpr int exit_bad_argument = 22;
static constexpr int exit_same_file = 1;
// Negative statuses reach the shell as 256 plus the value: 255 down to 252.
static constexpr int exit_malformed_binary_header = -1;
static constexpr int exit_bad_trace_geometry = -2;
static constexpr int exit_bad_byte_position = -3;
static constexpr int exit_empty_interval = -4;
// A file that ends early sets no errno of its own.
static constexpr int exit_truncated = EIO;

// Indexed by format code, for the verbose listing.
// clang-format off
static constexpr const char *format_names[] = {
    "", "ibm", "long", "short", "fixed-point 4-byte float", "ieee", "invalid", "invalid", "char",
};
// clang-format on
static_assert(std::size(format_names) == 9, "one name per format code 0 to 8");

// Measured on page-cached files: 256 KiB needs half the system calls of 128 KiB and copies 15 %
// faster; larger buffers gain nothing more.
static constexpr int stream_buffer_size = 256 * 1024;
// glibc's fseek makes an lseek call even when the target lies inside the read buffer, about
// 1.2 us each; reading and dropping the bytes is cheaper below this length.
static constexpr int32_t shortest_seek = 32 * 1024;
static_assert(shortest_seek < stream_buffer_size, "short skips are served from the buffer");

// Binary header positions read or rewritten by the copy.
static constexpr int binary_interval_position = 3217;
static constexpr int binary_samples_position = 3221;
static constexpr int binary_extended_position = 3505;
// Trace header positions.
static constexpr int delay_position = 109;
static constexpr int trace_samples_position = 115;
static constexpr int trace_interval_position = 117;

// The binary header follows the textual header; this is its 0-based file offset.
static constexpr off_t binheader_offset = QUORVA_BINHEADER_POSITION - 1;
static_assert(binheader_offset == QUORVA_TEXTHEADER_SIZE, "the binary header follows the text");
static_assert(sizeof(off_t) == 8, "files beyond 2 GiB need 64-bit offsets");

struct trim_options {
    int32_t iline_begin = -1;
    int32_t iline_end = INT32_MAX;
    int32_t xline_begin = -1;
    int32_t xline_end = INT32_MAX;
    int32_t sample_begin = -1;
    int32_t sample_end = INT32_MAX;
    int32_t format = 0;
    int32_t il_byte = 189;
    int32_t xl_byte = 193;
    const char *src = nullptr;
    const char *dst = nullptr;
    int verbosity = 0;
    bool version = false;
    bool help = false;
    // Present, and possibly empty, when an option failed.
    const char *error_message = nullptr;
};

// Everything the trace loop needs to know of the input's traces.
struct trace_geometry {
    int32_t samples;          // per trace, from the binary header
    int32_t interval;         // microseconds, from the binary header; -1 when unreadable
    int32_t bytes_per_sample; // from the format
    int32_t trace_size;       // bytes of one trace's samples
};

static int32_t *
count_option(trim_options *options, int ch)
{
    switch (ch) {
    case 'i':
        return &options->iline_begin;
    case 'I':
        return &options->iline_end;
    case 'x':
        return &options->xline_begin;
    case 'X':
        return &options->xline_end;
    case 's':
        return &options->sample_begin;
    case 'S':
        return &options->sample_end;
    case 'b':
        return &options->il_byte;
    case 'B':
        return &options->xl_byte;
    default:
        return nullptr;
    }
}

static trim_options
read_trim_options(int argc, char **argv)
{
    trim_options options;
    opterr = 1;
    int ch;
    while ((ch = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (ch) {
        case 'i':
        case 'I':
        case 'x':
        case 'X':
        case 's':
        case 'S':
        case 'b':
        case 'B': {
            // The whole number counts: 4294967296 must not pass as 0.
            int result = parse_count_whole(optarg, count_option(&options, ch));
            if (result != 0) {
                options.error_message = count_message(result);
                return options;
            }
            break;
        }
        case 'v':
            ++options.verbosity;
            break;
        case 'f':
            if (int32_t code = format_code(optarg); code != 0)
                options.format = code;
            // An unknown name after a known one leaves the known format in force.
            if (options.format == 0) {
                options.error_message =
                    "invalid format argument. valid formats: ibm ieee short long char";
                return options;
            }
            break;
        case 'h':
            options.help = true;
            return options;
        case 'V':
            options.version = true;
            options.help = false;
            return options;
        case 0:
            break;
        default:
            options.help = true;
            options.error_message = "";
            return options;
        }
    }
    if (argc - optind != 2) {
        print_error("Wrong number of files");
        options.help = true;
        return options;
    }
    options.src = argv[optind];
    options.dst = argv[optind + 1];
    return options;
}

// Ends the run after a failed system call, with errno as the status.
[[noreturn]] static void
fail_with_errno(const char *message)
{
    int error = errno != 0 ? errno : EIO;
    std::exit(print_error_detail(error, message, std::strerror(error)));
}

static void
read_item(std::FILE *src, char *buf, std::size_t size, std::size_t count, const char *message)
{
    if (std::fread(buf, size, count, src) == count)
        return;
    if (std::ferror(src))
        fail_with_errno(message);
    std::exit(print_error_detail(exit_truncated, message, "Unexpected end of file"));
}

static void
write_item(std::FILE *dst, const char *buf, std::size_t size, std::size_t count,
           const char *message)
{
    if (std::fwrite(buf, size, count, dst) != count)
        fail_with_errno(message);
}

static void
say(const trim_options *options, int verbosity, const char *line)
{
    if (options->verbosity >= verbosity)
        std::puts(line);
}

static bool
is_open_as(int fd, const struct stat *file)
{
    struct stat open_stat;
    return fstat(fd, &open_stat) == 0 && open_stat.st_dev == file->st_dev &&
           open_stat.st_ino == file->st_ino;
}

// Opening DST for writing truncates it, so it may not be SRC under another name.
static void
refuse_same_file(std::FILE *src, const char *dst)
{
    struct stat dst_stat;
    if (stat(dst, &dst_stat) != 0)
        return;
    if (is_open_as(fileno(src), &dst_stat))
        std::exit(report_failure(exit_same_file,
                                 "quorva-trim: output file must be different from input file"));
}

// The verbose lines and the diagnostics would land inside DST if it were the file standard
// output (with -v) or standard error writes to. A character device such as /dev/null holds no
// file to spoil.
static void
refuse_shared_output(const trim_options *options)
{
    struct stat dst_stat;
    if (stat(options->dst, &dst_stat) != 0 || S_ISCHR(dst_stat.st_mode))
        return;
    if (options->verbosity > 0 && is_open_as(STDOUT_FILENO, &dst_stat))
        std::exit(report_failure(
            exit_same_file,
            "quorva-trim: output file must be different from standard output with -v"));
    if (is_open_as(STDERR_FILENO, &dst_stat))
        std::exit(report_failure(exit_same_file,
                                 "quorva-trim: output file must be different from standard error"));
}

static void
copy_extended_headers(const trim_options *options, const char *binheader, std::FILE *src,
                      std::FILE *dst)
{
    int extended = 0;
    if (quorva_get_bfield(binheader, binary_extended_position, &extended) != 0 || extended < 0)
        std::exit(report_failure(exit_malformed_binary_header, "Malformed binary header"));
    char text[QUORVA_TEXTHEADER_SIZE];
    for (int i = 0; i < extended; ++i) {
        say(options, 1, "Copying extended text header");
        read_item(src, text, sizeof text, 1, "Unable to read ext text header");
        write_item(dst, text, sizeof text, 1, "Unable to write ext text header");
    }
}

static int
sample_format(const trim_options *options, const char *binheader)
{
    int code = usable_format(options->format != 0 ? options->format : quorva_format(binheader));
    if (options->verbosity >= 2 && options->format == 0)
        std::printf("Inferred sample format %s\n", format_names[code]);
    return code;
}

static trace_geometry
read_trace_geometry(const trim_options *options, const char *binheader)
{
    trace_geometry geometry;
    say(options, 3, "Computing samples-per-trace");
    if (quorva_get_bfield(binheader, binary_interval_position, &geometry.interval) != 0)
        geometry.interval = -1;
    if (quorva_get_bfield(binheader, binary_samples_position, &geometry.samples) != 0 ||
        geometry.samples < 0)
        std::exit(report_failure(exit_bad_trace_geometry, "Could not determine samples per trace"));
    if (options->verbosity >= 3)
        std::printf("Found %d samples per trace\n", geometry.samples);
    int code = sample_format(options, binheader);
    // From the format's own width, so that a trace without samples needs no division.
    geometry.bytes_per_sample = quorva_format_size(code);
    geometry.trace_size = quorva_trsize(code, geometry.samples);
    if (options->verbosity >= 3)
        std::printf("Found %d bytes per trace\n", geometry.trace_size);
    return geometry;
}

static bool
is_selected(const trim_options *options, const char *header)
{
    int iline = -1;
    int xline = -1;
    if (quorva_get_field(header, options->il_byte, &iline) != 0)
        iline = -1;
    if (quorva_get_field(header, options->xl_byte, &xline) != 0)
        xline = -1;
    return iline >= options->iline_begin && iline <= options->iline_end &&
           xline >= options->xline_begin && xline <= options->xline_end;
}

// Samples past the end of the file go unnoticed here: the next header read meets the end.
static void
skip_samples(std::FILE *src, const trace_geometry *geometry, char *trace, bool *seekable)
{
    if (geometry->trace_size >= shortest_seek && *seekable) {
        if (fseeko(src, geometry->trace_size, SEEK_CUR) == 0)
            return;
        // A pipe cannot seek: from now on the samples are read and dropped.
        *seekable = false;
    }
    std::size_t ignored = std::fread(trace, 1, static_cast<std::size_t>(geometry->trace_size), src);
    static_cast<void>(ignored);
}

// Cuts the trace in `trace` to the time window and writes it with its rewritten header. Returns
// false for a trace left without samples, which is left out: common readers refuse a whole file
// that holds a trace of no samples. That takes in every trace of a file whose binary header
// gives no samples per trace.
static bool
copy_trace(const trim_options *options, const trace_geometry *geometry, char *header,
           const char *trace, char *binheader, int64_t copied, std::FILE *dst)
{
    int delay = -1;
    int interval = -1;
    if (quorva_get_field(header, delay_position, &delay) != 0)
        delay = -1;
    if (quorva_get_field(header, trace_interval_position, &interval) != 0)
        interval = -1;
    else if (interval == 0)
        interval = geometry->interval;

    sample_window_result window;
    if (!sample_window(geometry->samples, delay, interval, options->sample_begin,
                       options->sample_end, &window))
        std::exit(report_failure(exit_bad_trace_geometry, "Could not determine sample interval"));
    if (window.count <= 0)
        return false;
    // The delay is a signed 16-bit field; a later start than it can hold cannot be recorded.
    if (window.delay > INT16_MAX)
        std::exit(print_error_detail(ERANGE, "Unable to set delay recording time",
                                     std::strerror(ERANGE)));

    // Both fit their 16-bit fields: the count is at most the header's sample count.
    auto count = static_cast<int>(window.count);
    quorva_set_field(header, trace_samples_position, count);
    quorva_set_field(header, delay_position, static_cast<int>(window.delay));
    quorva_set_bfield(binheader, binary_samples_position, count);

    if (options->verbosity >= 3)
        std::printf("Copying trace %lld\n", static_cast<long long>(copied));
    write_item(dst, header, QUORVA_TRACEHEADER_SIZE, 1, "Unable to write trace header");
    if (count > 0)
        write_item(dst, trace + window.first * geometry->bytes_per_sample,
                   static_cast<std::size_t>(geometry->bytes_per_sample),
                   static_cast<std::size_t>(count), "Unable to write trace");
    return true;
}

static int64_t
copy_traces(const trim_options *options, const trace_geometry *geometry, char *binheader,
            char *trace, std::FILE *src, std::FILE *dst)
{
    int64_t copied = 0;
    bool seekable = true;
    char header[QUORVA_TRACEHEADER_SIZE];
    while (std::fread(header, sizeof header, 1, src) == 1) {
        if (!is_selected(options, header)) {
            skip_samples(src, geometry, trace, &seekable);
            continue;
        }
        read_item(src, trace, static_cast<std::size_t>(geometry->bytes_per_sample),
                  static_cast<std::size_t>(geometry->samples), "Unable to read trace");
        if (copy_trace(options, geometry, header, trace, binheader, copied, dst))
            ++copied;
    }
    // A partial header at the end of the file is no trace; a read error is.
    if (std::ferror(src))
        std::exit(report_failure(std::ferror(src), "Unable to read trace header"));
    return copied;
}

static int
copy_sub_cube(const trim_options *options)
{
    std::FILE *src = std::fopen(options->src, "rb");
    if (!src)
        fail_with_errno("Unable to open src");
    refuse_same_file(src, options->dst);
    refuse_shared_output(options);
    std::FILE *dst = std::fopen(options->dst, "wb");
    if (!dst)
        fail_with_errno("Unable to open dst");
    static char src_buffer[stream_buffer_size];
    static char dst_buffer[stream_buffer_size];
    std::setvbuf(src, src_buffer, _IOFBF, sizeof src_buffer);
    std::setvbuf(dst, dst_buffer, _IOFBF, sizeof dst_buffer);

    char text[QUORVA_TEXTHEADER_SIZE];
    say(options, 1, "Copying text header");
    read_item(src, text, sizeof text, 1, "Unable to read text header");
    write_item(dst, text, sizeof text, 1, "Unable to write text header");

    char binheader[QUORVA_BINHEADER_SIZE];
    say(options, 1, "Copying binary header");
    read_item(src, binheader, sizeof binheader, 1, "Unable to read binary header");
    write_item(dst, binheader, sizeof binheader, 1, "Unable to write binary header");

    copy_extended_headers(options, binheader, src, dst);
    trace_geometry geometry = read_trace_geometry(options, binheader);

    // A trace without samples still gets a buffer: malloc(0) may return null.
    auto *trace = static_cast<char *>(
        std::malloc(static_cast<std::size_t>(geometry.trace_size > 0 ? geometry.trace_size : 1)));
    if (!trace)
        std::exit(
            print_error_detail(ENOMEM, "Unable to allocate trace buffer", std::strerror(ENOMEM)));
    say(options, 1, "Copying traces");
    int64_t copied = copy_traces(options, &geometry, binheader, trace, src, dst);

    // The seek also flushes every trace still buffered, so a full disk shows here at the latest.
    if (fseeko(dst, binheader_offset, SEEK_SET) != 0)
        fail_with_errno("Unable to write binary header");
    write_item(dst, binheader, sizeof binheader, 1, "Unable to write binary header");
    if (std::fflush(dst) != 0)
        fail_with_errno("Unable to write binary header");
    if (options->verbosity >= 1)
        std::printf("Copied %lld traces\n", static_cast<long long>(copied));
    // Not a failure, so it bypasses print_error and its flush of standard output.
    if (copied == 0)
        std::fputs("quorva-trim: no traces copied\n", stderr);
    std::free(trace);
    if (std::fclose(dst) != 0)
        fail_with_errno("Unable to close dst");
    std::fclose(src);
    return 0;
}

int
main(int argc, char **argv)
{
    guard_standard_descriptors();
    trim_options options = read_trim_options(argc, argv);
    if (options.help) {
        std::puts(usage_text);
        return finish_output(options.error_message ? exit_usage : 0);
    }
    if (options.version)
        return finish_output(print_version("quorva-trim"));
    if (options.error_message)
        return report_failure(exit_bad_argument, options.error_message);
    if (!is_trace_field_position(options.il_byte))
        return report_failure(exit_bad_byte_position, "Invalid inline byte offset");
    if (!is_trace_field_position(options.xl_byte))
        return report_failure(exit_bad_byte_position, "Invalid crossline byte offset");
    if (options.iline_begin > options.iline_end)
        return report_failure(exit_empty_interval, "Invalid iline interval - file would be empty");
    if (options.xline_begin > options.xline_end)
        return report_failure(exit_empty_interval, "Invalid xline interval - file would be empty");
    if (options.sample_begin > options.sample_end)
        return report_failure(exit_empty_interval, "Invalid sample interval - file would be empty");
    if (std::strcmp(options.src, options.dst) == 0)
        return report_failure(exit_same_file,
                              "quorva-trim: output file must be different from input file");
    return finish_output(copy_sub_cube(&options));
}
