// SPDX-License-Identifier: MIT
// Fuzzes libquorva's file operations on a file made from the input: open, the headers, the trace
// count, trace headers, field access and the forward reader. The bytes before the file choose trace
// numbers, offsets, sizes and field values; every result is checked against the file's own bytes.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "fuzz_args.h"
#include "quorva.h"

[[noreturn]] static void
fail(const char *what, int64_t detail = 0)
{
    std::fprintf(stderr, "\nquorva fuzz (library): %s (%lld)\n", what,
                 static_cast<long long>(detail));
    std::abort();
}

static void remove_file();

static const std::string &
file_path()
{
    static const std::string path = [] {
        std::string pattern = scratch_parent() + "/quorva-fuzz-library-XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0)
            fail("cannot make the scratch file");
        close(fd);
        std::atexit(remove_file);
        return pattern;
    }();
    return path;
}

static void
remove_file()
{
    unlink(file_path().c_str());
}

static void
write_file(const uint8_t *data, std::size_t size)
{
    std::FILE *f = std::fopen(file_path().c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        fail("cannot write the scratch file");
}

static int32_t
decode(const uint8_t *p, int width)
{
    if (width == 2)
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
    return static_cast<int32_t>(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 |
                                uint32_t{p[3]});
}

// A failing call leaves a non-zero errno.
static void
expect_failure(int result, const char *what)
{
    if (result == 0)
        fail(what);
    if (errno == 0)
        fail("a failing call left errno 0");
}

// Reads and writes every position of a header through get and set, against its bytes.
static void
check_fields(uint8_t *header, int first, int size, int (*width_of)(int),
             int (*get)(const char *, int, int *), int (*set)(char *, int, int), int32_t value)
{
    auto *text = reinterpret_cast<char *>(header);
    for (int position = first - 2; position <= first + size + 1; ++position) {
        int width = width_of(position);
        int got = 0;
        errno = 0;
        int result = get(text, position, &got);
        if (width == 0) {
            expect_failure(result, "a field read where no field starts succeeded");
            expect_failure(set(text, position, value), "a field write where none starts succeeded");
            continue;
        }
        if ((width != 2 && width != 4) || position - first + width > size)
            fail("a field reaches past its header", position);
        if (result != 0 || got != decode(header + (position - first), width))
            fail("a field read is not the big-endian value of its bytes", position);
        uint8_t saved[4];
        std::memcpy(saved, header + (position - first), static_cast<std::size_t>(width));
        errno = 0;
        result = set(text, position, value);
        bool fits = width == 4 || (value >= INT16_MIN && value <= UINT16_MAX);
        if (!fits) {
            expect_failure(result, "a 2-byte field took a value beyond 16 bits");
            if (std::memcmp(saved, header + (position - first), static_cast<std::size_t>(width)))
                fail("a refused field write changed the header", position);
            continue;
        }
        int back = 0;
        if (result != 0 || get(text, position, &back) != 0)
            fail("a field write that fits failed", position);
        int32_t expected = width == 2 ? static_cast<int16_t>(static_cast<uint16_t>(value)) : value;
        if (back != expected)
            fail("a field does not read back what was written", position);
        std::memcpy(header + (position - first), saved, static_cast<std::size_t>(width));
    }
}

static void
check_text(quorva_file *file, int index, const uint8_t *data, std::size_t size)
{
    char text[QUORVA_TEXTHEADER_SIZE + 1];
    std::memset(text, 'x', sizeof text);
    int64_t offset = index < 0 ? 0 : QUORVA_TRACE0_MIN + int64_t{QUORVA_TEXTHEADER_SIZE} * index;
    errno = 0;
    int result = index < 0 ? quorva_read_textheader(file, text)
                           : quorva_read_ext_textheader(file, index, text);
    bool whole = offset + QUORVA_TEXTHEADER_SIZE <= static_cast<int64_t>(size);
    if (!whole) {
        expect_failure(result, "a textual header read past the end of the file succeeded");
        return;
    }
    if (result != 0)
        fail("a textual header inside the file could not be read", index);
    if (text[QUORVA_TEXTHEADER_SIZE] != '\0')
        fail("a textual header is not NUL-terminated", index);
    char raw[QUORVA_TEXTHEADER_SIZE];
    std::memcpy(raw, data + offset, sizeof raw);
    if (!quorva_is_ascii_text(raw))
        quorva_ebcdic_to_ascii(raw, QUORVA_TEXTHEADER_SIZE);
    if (std::memcmp(raw, text, sizeof raw) != 0)
        fail("a textual header is not its bytes, translated where EBCDIC", index);
}

static void
check_trace_header(quorva_file *file, int index, int64_t trace0, int trsize, const uint8_t *data,
                   std::size_t size)
{
    char header[QUORVA_TRACEHEADER_SIZE];
    errno = 0;
    int result = quorva_traceheader(file, index, header, trace0, trsize);
    bool valid = index >= 0 && trace0 >= QUORVA_TRACE0_MIN && trsize >= 0;
    // In 128 bits where 64 could overflow: trace0 and the index are the caller's.
    __int128 offset = static_cast<__int128>(trace0) +
                      static_cast<__int128>(index) * (QUORVA_TRACEHEADER_SIZE + int64_t{trsize});
    bool inside = valid && offset + QUORVA_TRACEHEADER_SIZE <= static_cast<__int128>(size);
    if (!inside) {
        expect_failure(result, "a trace header read outside the file succeeded");
        return;
    }
    if (result != 0)
        fail("a trace header inside the file could not be read", index);
    if (std::memcmp(header, data + static_cast<int64_t>(offset), sizeof header) != 0)
        fail("a trace header is not the file's bytes", index);
}

// The forward reader over the whole file: drawn peeks and skips, each checked against the file's
// bytes and the reader's count of bytes consumed.
static void
check_reader(byte_reader *choices, const uint8_t *data, std::size_t size)
{
    int fd = open(file_path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot open the scratch file for the reader");
    bool sized = next_byte(choices) & 1;
    std::size_t buffer = 1 + static_cast<uint32_t>(next_int32(choices)) % (1u << 20);
    quorva_reader *reader = sized ? quorva_reader_new_sized(fd, buffer) : quorva_reader_new(fd);
    if (!reader)
        fail("no reader on a readable file", errno);
    std::size_t limit = sized ? buffer : QUORVA_READER_SPAN;
    int64_t at = 0;
    for (int step = 0; step < 16 && choices->size > 0; ++step) {
        uint8_t op = next_byte(choices);
        auto amount = static_cast<uint32_t>(next_int32(choices));
        int64_t left = static_cast<int64_t>(size) - at;
        errno = 0;
        if (op & 1) {
            // Up to just past the longest span the reader takes.
            std::size_t n = amount % (limit + 2);
            std::size_t got = 0;
            const char *p = quorva_reader_peek(reader, n, &got);
            if (n > limit) {
                if (!sized && (p || errno == 0))
                    fail("a peek past QUORVA_READER_SPAN did not fail", static_cast<int64_t>(n));
                continue;
            }
            if (!p)
                fail("a peek failed on a regular file", static_cast<int64_t>(n));
            auto expected =
                static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), left));
            if (got != expected || std::memcmp(p, data + at, got) != 0)
                fail("a peek is not the file's next bytes", static_cast<int64_t>(n));
        } else {
            int64_t n = op & 2 ? -1 - int64_t{amount} : int64_t{amount} % (4 * QUORVA_READER_SPAN);
            int64_t skipped = -1;
            int result = quorva_reader_skip(reader, n, &skipped);
            if (n < 0) {
                expect_failure(result, "a negative skip succeeded");
                continue;
            }
            if (result != 0 || skipped != std::min(n, left))
                fail("a skip did not pass its bytes, or the rest of the file", n);
            at += skipped;
        }
        if (quorva_reader_tell(reader) != at)
            fail("the reader's count of bytes consumed is wrong", quorva_reader_tell(reader));
    }
    quorva_reader_free(reader);
    close(fd);
}

static int64_t
draw_offset(byte_reader *choices, int64_t trace0)
{
    switch (next_byte(choices) % 6) {
    case 0:
        return INT64_MAX - next_byte(choices);
    case 1:
        return INT64_MIN + next_byte(choices);
    case 2:
        return QUORVA_TRACE0_MIN - 1;
    case 3:
        return trace0 + next_int32(choices);
    default:
        return trace0;
    }
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    fuzz_input in = split_input(data, size);
    write_file(in.file, in.file_size);
    check_reader(&in.choices, in.file, in.file_size);

    errno = 0;
    if (quorva_open(file_path().c_str(), "w") != nullptr || errno == 0)
        fail("quorva_open took a mode for writing");
    quorva_file *file = quorva_open(file_path().c_str(), next_byte(&in.choices) & 1 ? "rb" : "r");
    if (!file)
        fail("quorva_open failed on a readable file", errno);

    char binheader[QUORVA_BINHEADER_SIZE];
    errno = 0;
    int result = quorva_binheader(file, binheader);
    if (in.file_size < QUORVA_TRACE0_MIN) {
        expect_failure(result, "a binary header read from a short file succeeded");
        check_text(file, -1, in.file, in.file_size);
        quorva_close(file);
        return 0;
    }
    if (result != 0 || std::memcmp(binheader, in.file + QUORVA_TEXTHEADER_SIZE, sizeof binheader))
        fail("the binary header is not file bytes 3201-3600");

    auto *bin = reinterpret_cast<const uint8_t *>(binheader);
    int32_t extended = decode(bin + 304, 2);
    int32_t samples = decode(bin + 20, 2);
    int32_t format = decode(bin + 24, 2);
    int64_t trace0 = quorva_trace0(binheader);
    if (trace0 != QUORVA_TRACE0_MIN + int64_t{QUORVA_TEXTHEADER_SIZE} * extended)
        fail("quorva_trace0 is not 3600 + 3200 x byte 3505", trace0);
    if (quorva_samples(binheader) != samples || quorva_format(binheader) != format)
        fail("quorva_samples or quorva_format is not its field");

    check_text(file, -1, in.file, in.file_size);
    check_text(file, 0, in.file, in.file_size);
    check_text(file, extended > 0 ? extended - 1 : 0, in.file, in.file_size);
    errno = 0;
    char text[QUORVA_TEXTHEADER_SIZE + 1];
    expect_failure(quorva_read_ext_textheader(file, -1, text), "extended header -1 was read");

    // Every format code near the usable ones, and the one the input names.
    for (int code : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, format}) {
        errno = 0;
        int trsize = quorva_trsize(code, samples);
        int64_t expected = int64_t{quorva_format_size(code)} * samples;
        if (quorva_format_size(code) == 0) {
            if (trsize != -1 || errno != EINVAL)
                fail("an unknown format code gave a trace size", code);
        } else if (trsize != expected) {
            fail("a trace size is not samples x sample width", code);
        }
    }

    int trsize = quorva_trsize(quorva_format_size(format) ? format : 1, samples);
    int traces = -1;
    errno = 0;
    result = quorva_traces(file, &traces, trace0, trsize);
    auto file_size = static_cast<int64_t>(in.file_size);
    if (trace0 < QUORVA_TRACE0_MIN || trace0 > file_size || trsize < 0) {
        expect_failure(result, "a trace count without a trace layout succeeded");
    } else if (result != 0 || traces != (file_size - trace0) / (QUORVA_TRACEHEADER_SIZE + trsize)) {
        fail("the trace count is not the number of whole traces", traces);
    }

    // Trace headers: the first, the last, just past the last, and drawn ones, with the layout
    // of the file and with layouts drawn from the input.
    for (int index : {0, 1, traces - 1, traces, next_int32(&in.choices)})
        check_trace_header(file, index, trace0, trsize, in.file, in.file_size);
    int64_t drawn_trace0 = draw_offset(&in.choices, trace0);
    int drawn_trsize = next_byte(&in.choices) & 1 ? next_int32(&in.choices) : trsize;
    check_trace_header(file, next_int32(&in.choices), drawn_trace0, drawn_trsize, in.file,
                       in.file_size);
    errno = 0;
    int count = 0;
    result = quorva_traces(file, &count, drawn_trace0, drawn_trsize);
    if (result == 0 && (drawn_trace0 < QUORVA_TRACE0_MIN || drawn_trace0 > file_size ||
                        drawn_trsize < 0 || count < 0))
        fail("a trace count succeeded on an impossible layout", count);

    // Field access on the binary header and on a trace header made of file bytes.
    int32_t value = next_int32(&in.choices);
    uint8_t bin_copy[QUORVA_BINHEADER_SIZE];
    std::memcpy(bin_copy, bin, sizeof bin_copy);
    check_fields(bin_copy, QUORVA_BINHEADER_POSITION, QUORVA_BINHEADER_SIZE, quorva_bfield_width,
                 quorva_get_bfield, quorva_set_bfield, value);
    uint8_t trace_header[QUORVA_TRACEHEADER_SIZE];
    std::memcpy(trace_header, in.file + QUORVA_TRACE0_MIN - QUORVA_TRACEHEADER_SIZE,
                sizeof trace_header);
    check_fields(trace_header, 1, QUORVA_TRACEHEADER_SIZE, quorva_field_width, quorva_get_field,
                 quorva_set_field, value);

    quorva_close(file);
    return 0;
}
