// SPDX-License-Identifier: MIT
// libquorva: SEG-Y revision 1 file access and header field coding.

#include "quorva.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct quorva_file {
    int fd;
    // A pipe, or any other file that cannot seek, is read forward only. What lies before the first
    // trace of a file without extended headers is kept once read, so the textual and binary
    // headers can be read in any order; `position` counts the bytes taken from the stream.
    bool stream;
    int64_t position;
    char head[QUORVA_TRACE0_MIN];
};

// A field: its 1-based position and its width in bytes.
struct field_layout {
    int position;
    int width;
};

// clang-format off
// The SEG-Y revision 1 binary header, by file position; the gaps (3261-3500, 3507-3600) are
// unassigned.
static constexpr field_layout binary_fields[] = {
    {3201, 4}, {3205, 4}, {3209, 4}, {3213, 2}, {3215, 2}, {3217, 2}, {3219, 2}, {3221, 2},
    {3223, 2}, {3225, 2}, {3227, 2}, {3229, 2}, {3231, 2}, {3233, 2}, {3235, 2}, {3237, 2},
    {3239, 2}, {3241, 2}, {3243, 2}, {3245, 2}, {3247, 2}, {3249, 2}, {3251, 2}, {3253, 2},
    {3255, 2}, {3257, 2}, {3259, 2}, {3501, 2}, {3503, 2}, {3505, 2},
};

// The SEG-Y revision 1 trace header: 91 fields that tile its 240 bytes.
static constexpr field_layout trace_fields[] = {
    {  1, 4}, {  5, 4}, {  9, 4}, { 13, 4}, { 17, 4}, { 21, 4}, { 25, 4}, { 29, 2},
    { 31, 2}, { 33, 2}, { 35, 2}, { 37, 4}, { 41, 4}, { 45, 4}, { 49, 4}, { 53, 4},
    { 57, 4}, { 61, 4}, { 65, 4}, { 69, 2}, { 71, 2}, { 73, 4}, { 77, 4}, { 81, 4},
    { 85, 4}, { 89, 2}, { 91, 2}, { 93, 2}, { 95, 2}, { 97, 2}, { 99, 2}, {101, 2},
    {103, 2}, {105, 2}, {107, 2}, {109, 2}, {111, 2}, {113, 2}, {115, 2}, {117, 2},
    {119, 2}, {121, 2}, {123, 2}, {125, 2}, {127, 2}, {129, 2}, {131, 2}, {133, 2},
    {135, 2}, {137, 2}, {139, 2}, {141, 2}, {143, 2}, {145, 2}, {147, 2}, {149, 2},
    {151, 2}, {153, 2}, {155, 2}, {157, 2}, {159, 2}, {161, 2}, {163, 2}, {165, 2},
    {167, 2}, {169, 2}, {171, 2}, {173, 2}, {175, 2}, {177, 2}, {179, 2}, {181, 4},
    {185, 4}, {189, 4}, {193, 4}, {197, 4}, {201, 2}, {203, 2}, {205, 4}, {209, 2},
    {211, 2}, {213, 2}, {215, 2}, {217, 2}, {219, 4}, {223, 2}, {225, 4}, {229, 2},
    {231, 2}, {233, 4}, {237, 4},
};
// clang-format on

template <std::size_t n>
static constexpr bool
fields_fit(const field_layout (&fields)[n], int first, int last)
{
    int end = first;
    for (const field_layout &f : fields) {
        if (f.position < end || (f.width != 2 && f.width != 4))
            return false;
        end = f.position + f.width;
    }
    return end - 1 <= last;
}

template <std::size_t n>
static constexpr bool
fields_tile(const field_layout (&fields)[n], int first, int last)
{
    int end = first;
    for (const field_layout &f : fields) {
        if (f.position != end)
            return false;
        end = f.position + f.width;
    }
    return end == last + 1;
}

static_assert(std::size(binary_fields) == 30, "binary header field count");
static_assert(fields_fit(binary_fields, QUORVA_BINHEADER_POSITION, 3600),
              "binary header fields must rise, not overlap, and fit the header");
static_assert(std::size(trace_fields) == 91, "trace header field count");
static_assert(fields_tile(trace_fields, 1, QUORVA_TRACEHEADER_SIZE),
              "trace header fields must tile the 240-byte header");

// Width of the field that starts at each position, 0 where none does; built from the tables.
template <std::size_t n, std::size_t size>
static constexpr std::array<unsigned char, size>
width_map(const field_layout (&fields)[n], int first)
{
    std::array<unsigned char, size> map{};
    for (const field_layout &f : fields)
        map[static_cast<std::size_t>(f.position - first)] = static_cast<unsigned char>(f.width);
    return map;
}

static constexpr auto binary_widths = width_map<std::size(binary_fields), QUORVA_BINHEADER_SIZE>(
    binary_fields, QUORVA_BINHEADER_POSITION);
static constexpr auto trace_widths =
    width_map<std::size(trace_fields), QUORVA_TRACEHEADER_SIZE>(trace_fields, 1);

// EBCDIC code page 037 to ASCII; characters outside ASCII become '?'.
// clang-format off
static constexpr unsigned char ebcdic_to_ascii[256] = {
    /* 0x00 */ 0x00, 0x01, 0x02, 0x03, 0x3F, 0x09, 0x3F, 0x7F, 0x3F, 0x3F, 0x3F, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    /* 0x10 */ 0x10, 0x11, 0x12, 0x13, 0x3F, 0x3F, 0x08, 0x3F, 0x18, 0x19, 0x3F, 0x3F, 0x1C, 0x1D, 0x1E, 0x1F,
    /* 0x20 */ 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x0A, 0x17, 0x1B, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x05, 0x06, 0x07,
    /* 0x30 */ 0x3F, 0x3F, 0x16, 0x3F, 0x3F, 0x3F, 0x3F, 0x04, 0x3F, 0x3F, 0x3F, 0x3F, 0x14, 0x15, 0x3F, 0x1A,
    /* 0x40 */ 0x20, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    /* 0x50 */ 0x26, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0x3F,
    /* 0x60 */ 0x2D, 0x2F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    /* 0x70 */ 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    /* 0x80 */ 0x3F, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0x90 */ 0x3F, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0xA0 */ 0x3F, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0xB0 */ 0x5E, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x5B, 0x5D, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0xC0 */ 0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0xD0 */ 0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0xE0 */ 0x5C, 0x3F, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    /* 0xF0 */ 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
};
// clang-format on
static_assert(std::size(ebcdic_to_ascii) == 256, "one entry per byte");
static_assert(ebcdic_to_ascii[0x40] == ' ' && ebcdic_to_ascii[0xC3] == 'C' &&
                  ebcdic_to_ascii[0xF0] == '0' && ebcdic_to_ascii[0x81] == 'a',
              "code page 037 landmarks");

static int
fail(int error)
{
    errno = error;
    return -1;
}

// Reads exactly n bytes at offset into buf. A file that ends first is malformed.
static int
read_whole(int fd, char *buf, std::size_t n, int64_t offset)
{
    std::size_t done = 0;
    while (done < n) {
        ssize_t got =
            pread(fd, buf + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            return fail(EINVAL);
        done += static_cast<std::size_t>(got);
    }
    return 0;
}

// Takes the next n bytes of a stream into buf, or drops them when buf is null. Every byte read
// counts toward the position, also when a later read fails, so the head never shifts.
static int
take_from_stream(quorva_file *file, char *buf, int64_t n)
{
    char dropped[QUORVA_TEXTHEADER_SIZE];
    while (n > 0) {
        int64_t part = buf ? n : std::min<int64_t>(n, sizeof dropped);
        ssize_t got = read(file->fd, buf ? buf : dropped, static_cast<std::size_t>(part));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            return fail(EINVAL);
        file->position += got;
        n -= got;
        if (buf)
            buf += got;
    }
    return 0;
}

// Serves a read from a stream: bytes before the end of the kept head come from the head, filled
// as far as needed, later ones from the stream, which cannot go back.
static int
read_stream(quorva_file *file, char *buf, std::size_t n, int64_t offset)
{
    constexpr auto head_size = int64_t{sizeof file->head};
    const int64_t end = offset + static_cast<int64_t>(n);
    const int64_t head_end = std::min(end, head_size);
    if (offset < head_end) {
        if (file->position < head_end &&
            take_from_stream(file, file->head + file->position, head_end - file->position) != 0)
            return -1;
        std::memcpy(buf, file->head + offset, static_cast<std::size_t>(head_end - offset));
        buf += head_end - offset;
        offset = head_end;
    }
    if (offset == end)
        return 0;
    // The head is kept whole even where a read passes over it.
    if (file->position < head_size &&
        take_from_stream(file, file->head + file->position, head_size - file->position) != 0)
        return -1;
    if (offset < file->position)
        return fail(ESPIPE);
    if (take_from_stream(file, nullptr, offset - file->position) != 0)
        return -1;
    return take_from_stream(file, buf, end - offset);
}

// Reads exactly n bytes at offset; a file that ends first is malformed.
static int
read_at(quorva_file *file, void *buf, std::size_t n, int64_t offset)
{
    if (!file || !buf || offset < 0 || offset > INT64_MAX - static_cast<int64_t>(n))
        return fail(EINVAL);
    auto *p = static_cast<char *>(buf);
    if (file->stream)
        return read_stream(file, p, n, offset);
    return read_whole(file->fd, p, n, offset);
}

static bool
is_ascii_alnum_or_blank(unsigned char c)
{
    return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static bool
is_ebcdic_alnum_or_blank(unsigned char c)
{
    return c == 0x40 || (c >= 0x81 && c <= 0x89) || (c >= 0x91 && c <= 0x99) ||
           (c >= 0xA2 && c <= 0xA9) || (c >= 0xC1 && c <= 0xC9) || (c >= 0xD1 && c <= 0xD9) ||
           (c >= 0xE2 && c <= 0xE9) || (c >= 0xF0 && c <= 0xF9);
}

static int
read_text(quorva_file *file, int64_t offset, char *buf)
{
    if (read_at(file, buf, QUORVA_TEXTHEADER_SIZE, offset) != 0)
        return -1;
    if (!quorva_is_ascii_text(buf))
        quorva_ebcdic_to_ascii(buf, QUORVA_TEXTHEADER_SIZE);
    buf[QUORVA_TEXTHEADER_SIZE] = '\0';
    return 0;
}

static int32_t
decode(const char *field, int width)
{
    auto *b = reinterpret_cast<const unsigned char *>(field);
    if (width == 2)
        return static_cast<int16_t>(static_cast<uint16_t>(b[0] << 8 | b[1]));
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) << 24 |
                                static_cast<uint32_t>(b[1]) << 16 |
                                static_cast<uint32_t>(b[2]) << 8 | static_cast<uint32_t>(b[3]));
}

static int
encode(char *field, int width, int value)
{
    auto *b = reinterpret_cast<unsigned char *>(field);
    auto bits = static_cast<uint32_t>(value);
    if (width == 2) {
        // 2-byte fields hold signed or unsigned 16-bit numbers.
        if (value < INT16_MIN || value > UINT16_MAX)
            return fail(ERANGE);
        b[0] = static_cast<unsigned char>(bits >> 8);
        b[1] = static_cast<unsigned char>(bits);
        return 0;
    }
    b[0] = static_cast<unsigned char>(bits >> 24);
    b[1] = static_cast<unsigned char>(bits >> 16);
    b[2] = static_cast<unsigned char>(bits >> 8);
    b[3] = static_cast<unsigned char>(bits);
    return 0;
}

// Offset of the field at position inside a header whose first byte has position first, or -1.
template <std::size_t size>
static int
field_offset(const std::array<unsigned char, size> &widths, int first, int position)
{
    if (position < first || position - first >= static_cast<int>(size))
        return -1;
    int offset = position - first;
    return widths[static_cast<std::size_t>(offset)] ? offset : -1;
}

int
quorva_bfield_width(int position)
{
    int offset = field_offset(binary_widths, QUORVA_BINHEADER_POSITION, position);
    return offset < 0 ? 0 : binary_widths[static_cast<std::size_t>(offset)];
}

int
quorva_field_width(int position)
{
    int offset = field_offset(trace_widths, 1, position);
    return offset < 0 ? 0 : trace_widths[static_cast<std::size_t>(offset)];
}

int
quorva_get_bfield(const char *binheader, int position, int *value)
{
    int width = quorva_bfield_width(position);
    if (!binheader || !value || width == 0)
        return fail(EINVAL);
    *value = decode(binheader + (position - QUORVA_BINHEADER_POSITION), width);
    return 0;
}

int
quorva_set_bfield(char *binheader, int position, int value)
{
    int width = quorva_bfield_width(position);
    if (!binheader || width == 0)
        return fail(EINVAL);
    return encode(binheader + (position - QUORVA_BINHEADER_POSITION), width, value);
}

int
quorva_get_field(const char *traceheader, int position, int *value)
{
    int width = quorva_field_width(position);
    if (!traceheader || !value || width == 0)
        return fail(EINVAL);
    *value = decode(traceheader + (position - 1), width);
    return 0;
}

int
quorva_set_field(char *traceheader, int position, int value)
{
    int width = quorva_field_width(position);
    if (!traceheader || width == 0)
        return fail(EINVAL);
    return encode(traceheader + (position - 1), width, value);
}

int
quorva_version(void)
{
    return QUORVA_VERSION_NUMBER;
}

quorva_file *
quorva_open(const char *path, const char *mode)
{
    if (!path || !mode || (std::strcmp(mode, "r") != 0 && std::strcmp(mode, "rb") != 0)) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    int error = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error != 0) {
        close(fd);
        errno = error;
        return nullptr;
    }
    auto *file = static_cast<quorva_file *>(std::malloc(sizeof(quorva_file)));
    if (!file) {
        close(fd);
        errno = ENOMEM;
        return nullptr;
    }
    file->fd = fd;
    // Pipes, sockets, terminals and tape drives are read forward; some of these accept lseek
    // and still refuse a positioned read.
    file->stream = !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode);
    file->position = 0;
    return file;
}

int
quorva_close(quorva_file *file)
{
    if (!file)
        return 0;
    int result = close(file->fd);
    std::free(file);
    return result;
}

int
quorva_binheader(quorva_file *file, char *binheader)
{
    return read_at(file, binheader, QUORVA_BINHEADER_SIZE, QUORVA_TEXTHEADER_SIZE);
}

int
quorva_read_textheader(quorva_file *file, char *buf)
{
    return read_text(file, 0, buf);
}

int
quorva_read_ext_textheader(quorva_file *file, int index, char *buf)
{
    if (index < 0)
        return fail(EINVAL);
    return read_text(file, QUORVA_TRACE0_MIN + int64_t{QUORVA_TEXTHEADER_SIZE} * index, buf);
}

int
quorva_is_ascii_text(const char *text)
{
    int ascii = 0;
    int ebcdic = 0;
    for (int i = 0; i < QUORVA_TEXTHEADER_SIZE; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        ascii += is_ascii_alnum_or_blank(c);
        ebcdic += is_ebcdic_alnum_or_blank(c);
    }
    return ascii > ebcdic;
}

void
quorva_ebcdic_to_ascii(char *text, int n)
{
    for (int i = 0; i < n; ++i)
        text[i] = static_cast<char>(ebcdic_to_ascii[static_cast<unsigned char>(text[i])]);
}

int64_t
quorva_trace0(const char *binheader)
{
    int extended = 0;
    quorva_get_bfield(binheader, 3505, &extended);
    return QUORVA_TRACE0_MIN + int64_t{QUORVA_TEXTHEADER_SIZE} * extended;
}

int
quorva_samples(const char *binheader)
{
    int samples = 0;
    quorva_get_bfield(binheader, 3221, &samples);
    return samples;
}

int
quorva_format(const char *binheader)
{
    int format = 0;
    quorva_get_bfield(binheader, 3225, &format);
    return format;
}

int
quorva_format_size(int format)
{
    switch (format) {
    case 1: // IBM floating point
    case 2: // 32-bit integer
    case 4: // fixed point with gain
    case 5: // IEEE floating point
        return 4;
    case 3: // 16-bit integer
        return 2;
    case 8: // 8-bit integer
        return 1;
    default:
        return 0;
    }
}

int
quorva_trsize(int format, int samples)
{
    int64_t size = int64_t{quorva_format_size(format)} * samples;
    if (quorva_format_size(format) == 0 || size < INT_MIN || size > INT_MAX)
        return fail(EINVAL);
    return static_cast<int>(size);
}

int
quorva_traces(quorva_file *file, int *traces, int64_t trace0, int trsize)
{
    if (!file || !traces)
        return fail(EINVAL);
    // A stream has no size to count traces by.
    if (file->stream)
        return fail(ESPIPE);
    struct stat st;
    if (fstat(file->fd, &st) != 0)
        return -1;
    // A negative trace size comes from a negative sample count: no trace layout follows from it.
    int64_t length = int64_t{QUORVA_TRACEHEADER_SIZE} + trsize;
    if (trace0 < QUORVA_TRACE0_MIN || trace0 > st.st_size || trsize < 0)
        return fail(EINVAL);
    int64_t count = (st.st_size - trace0) / length;
    if (count > INT_MAX)
        return fail(EFBIG);
    *traces = static_cast<int>(count);
    return 0;
}

int
quorva_traceheader(quorva_file *file, int index, char *buf, int64_t trace0, int trsize)
{
    int64_t length = int64_t{QUORVA_TRACEHEADER_SIZE} + trsize;
    if (index < 0 || trace0 < QUORVA_TRACE0_MIN || trsize < 0)
        return fail(EINVAL);
    // An offset beyond 64 bits lies past the end of any file.
    if (index > (INT64_MAX - trace0) / length)
        return fail(EINVAL);
    return read_at(file, buf, QUORVA_TRACEHEADER_SIZE, trace0 + index * length);
}
