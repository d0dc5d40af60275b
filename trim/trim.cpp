// SPDX-License-Identifier: MIT
// quorva-trim: copy the traces of a SEG-Y file that lie inside inline, crossline and time windows.

#include <algorithm>
#include <cerrno>
#include <climits> // IOV_MAX
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h> // getopt_long, struct option
#include <sys/stat.h>
#include <sys/types.h> // off_t
#include <sys/uio.h>   // writev
#include <unistd.h>

#include "common.h"
#include "quorva.h"
#include "sample_window.h"

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
static constexpr int exit_empty_interval = -4;
// A file that ends early sets no errno of its own.
static constexpr int exit_truncated = EIO;
// A read error on a trace header, as the C library's error indicator reads.
static constexpr int exit_read_error = 1;

// The reader's buffer: reads of this size need few system calls and keep what they read in the
// processor's cache until it is written.
static constexpr std::size_t reader_buffer_size = 512 * 1024;
// Traces this long are sought past rather than read when unselected.
static constexpr std::size_t long_trace = 16 * 1024;
// Runs and rewritten headers gathered for one writev, within the system's IOV_MAX (1024).
static constexpr int batch_runs = 512;
static constexpr int batch_headers = 256;
static_assert(batch_runs <= IOV_MAX, "one writev takes every run");

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
            options.format = format_option(optarg, options.format);
            if (options.format == 0) {
                options.error_message = invalid_format_message;
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

// Reads n bytes, fewer only at the end of the input; a pipe hands them over in pieces.
static void
read_all(int fd, char *buf, std::size_t n, const char *message)
{
    std::size_t done = 0;
    while (done < n) {
        ssize_t got = read(fd, buf + done, n - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail_with_errno(message);
        if (got == 0)
            std::exit(print_error_detail(exit_truncated, message, "Unexpected end of file"));
        done += static_cast<std::size_t>(got);
    }
}

static void
write_all(int fd, const char *buf, std::size_t n, const char *message)
{
    while (n > 0) {
        ssize_t put = write(fd, buf, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail_with_errno(message);
        buf += put;
        n -= static_cast<std::size_t>(put);
    }
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
refuse_same_file(int src, const char *dst)
{
    struct stat dst_stat;
    if (stat(dst, &dst_stat) != 0)
        return;
    if (is_open_as(src, &dst_stat))
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
copy_extended_headers(const trim_options *options, const char *binheader, int src, int dst)
{
    int extended = 0;
    if (quorva_get_bfield(binheader, binary_extended_position, &extended) != 0 || extended < 0)
        std::exit(report_failure(exit_malformed_binary_header, "Malformed binary header"));
    char text[QUORVA_TEXTHEADER_SIZE];
    for (int i = 0; i < extended; ++i) {
        say(options, 1, "Copying extended text header");
        read_all(src, text, sizeof text, "Unable to read ext text header");
        write_all(dst, text, sizeof text, "Unable to write ext text header");
    }
}

static int
sample_format(const trim_options *options, const char *binheader)
{
    int code = usable_format(options->format != 0 ? options->format : quorva_format(binheader));
    if (options->verbosity >= 2 && options->format == 0)
        std::printf("Inferred sample format %s\n", sample_format_name(code));
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

// The reader, with a buffer of many traces for few system calls; when memory is short, with
// room for one trace, which still copies.
static quorva_reader *
new_trace_reader(int src, std::size_t trace_length, std::size_t *size)
{
    *size = std::max(trace_length, reader_buffer_size);
    quorva_reader *reader = quorva_reader_new_sized(src, *size);
    if (!reader && errno == ENOMEM) {
        *size = trace_length;
        reader = quorva_reader_new_sized(src, *size);
    }
    if (!reader) {
        int error = errno;
        std::exit(
            print_error_detail(error, "Unable to allocate trace buffer", std::strerror(error)));
    }
    return reader;
}

// Copied traces gathered for one writev: runs of bytes in the reader's buffer, or rewritten
// headers kept here. It is written before the reader is asked for more, which may move its
// buffer.
struct output_batch {
    int fd;
    int runs;
    int headers;
    struct iovec run[batch_runs];
    bool run_starts_header[batch_runs]; // which message a failed write gets
    char header[batch_headers][QUORVA_TRACEHEADER_SIZE];
};

static void
write_batch(output_batch *batch)
{
    int next = 0;
    while (next < batch->runs) {
        ssize_t put = writev(batch->fd, batch->run + next, batch->runs - next);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail_with_errno(batch->run_starts_header[next] ? "Unable to write trace header"
                                                           : "Unable to write trace");
        auto left = static_cast<std::size_t>(put);
        while (next < batch->runs && left >= batch->run[next].iov_len)
            left -= batch->run[next++].iov_len;
        if (left > 0) {
            batch->run[next].iov_base = static_cast<char *>(batch->run[next].iov_base) + left;
            batch->run[next].iov_len -= left;
            batch->run_starts_header[next] = false;
        }
    }
    batch->runs = 0;
    batch->headers = 0;
}

// Adds n bytes; bytes that follow the last run in memory lengthen it.
static void
add_run(output_batch *batch, const char *bytes, std::size_t n, bool is_header)
{
    if (batch->runs > 0) {
        struct iovec *last = &batch->run[batch->runs - 1];
        if (static_cast<const char *>(last->iov_base) + last->iov_len == bytes) {
            last->iov_len += n;
            return;
        }
    }
    // writev takes the runs as they are; it never writes through iov_base.
    batch->run[batch->runs].iov_base = const_cast<char *>(bytes);
    batch->run[batch->runs].iov_len = n;
    batch->run_starts_header[batch->runs] = is_header;
    ++batch->runs;
}

// Room for a rewritten header; copy_trace has made sure that a slot is free.
static char *
new_header(output_batch *batch)
{
    return batch->header[batch->headers++];
}

// A failure in the middle of the traces: what was copied before it still reaches DST.
[[noreturn]] static void
fail_after_batch(output_batch *batch, int status, const char *message, const char *detail)
{
    write_batch(batch);
    std::exit(detail ? print_error_detail(status, message, detail)
                     : report_failure(status, message));
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

// Cuts the trace at `trace` (its header and samples, in the reader's buffer) to the time window
// and adds it to the batch with its rewritten header; a header that the rewrite leaves as it is
// goes out from where it lies. Returns false for a trace left without samples, which is left
// out: common readers refuse a whole file that holds a trace of no samples. That takes in every
// trace of a file whose binary header gives no samples per trace.
static bool
copy_trace(const trim_options *options, const trace_geometry *geometry, const char *trace,
           int64_t copied, output_batch *batch, int32_t *kept)
{
    int delay = -1;
    int interval = -1;
    if (quorva_get_field(trace, delay_position, &delay) != 0)
        delay = -1;
    if (quorva_get_field(trace, trace_interval_position, &interval) != 0)
        interval = -1;
    else if (interval == 0)
        interval = geometry->interval;

    sample_window_result window;
    if (!sample_window(geometry->samples, delay, interval, options->sample_begin,
                       options->sample_end, &window))
        fail_after_batch(batch, exit_bad_trace_geometry, "Could not determine sample interval",
                         nullptr);
    if (window.count <= 0)
        return false;
    // The delay is a signed 16-bit field; a later start than it can hold cannot be recorded.
    if (window.delay > INT16_MAX)
        fail_after_batch(batch, ERANGE, "Unable to set delay recording time",
                         std::strerror(ERANGE));

    // Both fit their 16-bit fields: the count is at most the header's sample count.
    auto count = static_cast<int>(window.count);
    // Room for the whole trace first, two runs and a header slot: a write of the batch between
    // taking a slot and adding its run would free the slot while the run still points at it.
    if (batch->headers == batch_headers || batch->runs > batch_runs - 2)
        write_batch(batch);
    const char *header = trace;
    int stored_count = -1;
    if (quorva_get_field(trace, trace_samples_position, &stored_count) != 0 ||
        stored_count != count || window.delay != delay) {
        char *rewritten = new_header(batch);
        std::memcpy(rewritten, trace, QUORVA_TRACEHEADER_SIZE);
        quorva_set_field(rewritten, trace_samples_position, count);
        quorva_set_field(rewritten, delay_position, static_cast<int>(window.delay));
        header = rewritten;
    }
    *kept = count;

    if (options->verbosity >= 3)
        std::printf("Copying trace %lld\n", static_cast<long long>(copied));
    add_run(batch, header, QUORVA_TRACEHEADER_SIZE, true);
    add_run(batch, trace + QUORVA_TRACEHEADER_SIZE + window.first * geometry->bytes_per_sample,
            static_cast<std::size_t>(count) * static_cast<std::size_t>(geometry->bytes_per_sample),
            false);
    // Each line then comes before any failure to write its trace.
    if (options->verbosity >= 3)
        write_batch(batch);
    return true;
}

// Copies the traces from the reader's buffer, many at a time, and writes them from there in
// runs. After a long unselected trace, only the next header is looked at, so that the reader
// seeks past the samples of long traces instead of reading them.
// Returns the number of traces copied; *kept is the kept count of the last one.
static int64_t
copy_traces(const trim_options *options, const trace_geometry *geometry, quorva_reader *reader,
            std::size_t reader_size, int dst, int32_t *kept)
{
    static output_batch batch;
    batch.fd = dst;
    batch.runs = 0;
    batch.headers = 0;
    const std::size_t trace_length =
        QUORVA_TRACEHEADER_SIZE + static_cast<std::size_t>(geometry->trace_size);
    const std::size_t header_length = QUORVA_TRACEHEADER_SIZE;
    const std::size_t block_length = reader_size / trace_length * trace_length;
    int64_t copied = 0;
    std::size_t want = block_length;
    // The next trace is selected: only its samples are missing.
    bool header_seen = false;
    for (;;) {
        std::size_t got = 0;
        const char *block = quorva_reader_peek(reader, want, &got);
        if (!block) {
            if (header_seen)
                fail_with_errno("Unable to read trace");
            // Only a header is asked for next, which tells the two failures apart.
            if (want > header_length) {
                want = header_length;
                continue;
            }
            std::exit(report_failure(exit_read_error, "Unable to read trace header"));
        }
        header_seen = false;
        bool at_end = got < want;
        std::size_t at = 0;
        bool skipping = false;
        while (at + header_length <= got) {
            const char *trace = block + at;
            skipping = !is_selected(options, trace);
            if (skipping) {
                at += trace_length;
                continue;
            }
            if (got - at < trace_length)
                break;
            if (copy_trace(options, geometry, trace, copied, &batch, kept))
                ++copied;
            at += trace_length;
        }
        write_batch(&batch);
        if (at < got && got - at >= header_length) {
            // A selected trace that is not all there.
            if (at_end)
                std::exit(print_error_detail(exit_truncated, "Unable to read trace",
                                             "Unexpected end of file"));
            if (at == 0) {
                // Only its header was looked at: now the whole trace.
                want = trace_length;
                header_seen = true;
                continue;
            }
        } else if (at_end && at <= got) {
            // The end of the input, between traces or inside a header: no trace is left.
            break;
        }
        if (quorva_reader_skip(reader, static_cast<int64_t>(at), nullptr) != 0)
            std::exit(report_failure(exit_read_error, "Unable to read trace header"));
        want = skipping && trace_length >= long_trace ? header_length : block_length;
    }
    return copied;
}

static int
copy_sub_cube(const trim_options *options)
{
    int src = open(options->src, O_RDONLY | O_CLOEXEC);
    if (src < 0)
        fail_with_errno("Unable to open src");
    refuse_same_file(src, options->dst);
    refuse_shared_output(options);
    int dst = open(options->dst, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (dst < 0)
        fail_with_errno("Unable to open dst");

    char text[QUORVA_TEXTHEADER_SIZE];
    say(options, 1, "Copying text header");
    read_all(src, text, sizeof text, "Unable to read text header");
    write_all(dst, text, sizeof text, "Unable to write text header");

    char binheader[QUORVA_BINHEADER_SIZE];
    say(options, 1, "Copying binary header");
    read_all(src, binheader, sizeof binheader, "Unable to read binary header");
    write_all(dst, binheader, sizeof binheader, "Unable to write binary header");

    copy_extended_headers(options, binheader, src, dst);
    trace_geometry geometry = read_trace_geometry(options, binheader);

    std::size_t reader_size = 0;
    quorva_reader *reader = new_trace_reader(
        src, QUORVA_TRACEHEADER_SIZE + static_cast<std::size_t>(geometry.trace_size), &reader_size);
    say(options, 1, "Copying traces");
    int32_t kept = geometry.samples;
    int64_t copied = copy_traces(options, &geometry, reader, reader_size, dst, &kept);
    if (copied > 0)
        quorva_set_bfield(binheader, binary_samples_position, kept);

    // Written where it lies, so that an output that cannot seek fails here, as it must.
    for (std::size_t done = 0; done < sizeof binheader;) {
        ssize_t put = pwrite(dst, binheader + done, sizeof binheader - done,
                             binheader_offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail_with_errno("Unable to write binary header");
        done += static_cast<std::size_t>(put);
    }
    if (options->verbosity >= 1)
        std::printf("Copied %lld traces\n", static_cast<long long>(copied));
    // Not a failure, so it bypasses print_error and its flush of standard output.
    if (copied == 0)
        std::fputs("quorva-trim: no traces copied\n", stderr);
    quorva_reader_free(reader);
    if (close(dst) != 0)
        fail_with_errno("Unable to close dst");
    close(src);
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
    if (int status = check_byte_positions(options.il_byte, options.xl_byte); status != 0)
        return status;
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
