// SPDX-License-Identifier: MIT
// Diagnostics, number parsing and the version line shared by every quorva program.

#include "common.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h> // open, fcntl, O_PATH
#include <iterator>
#include <unistd.h>

#include "quorva.h"

static constexpr int major_version = QUORVA_VERSION_MAJOR;
static constexpr int minor_version = QUORVA_VERSION_MINOR;

struct format_name {
    const char *name;
    int32_t code;
};

// clang-format off
static constexpr format_name format_names[] = {
    {"ibm",   1},
    {"long",  2},
    {"short", 3},
    {"ieee",  5},
    {"char",  8},
};
// clang-format on
static_assert(std::size(format_names) == 5, "five format names");

// Indexed by format code.
// clang-format off
static constexpr const char *format_labels[] = {
    "invalid", "ibm", "long", "short", "fixed-point 4-byte float", "ieee", "invalid", "invalid", "char",
};
// clang-format on
static_assert(std::size(format_labels) == 9, "one name per format code 0 to 8");

// Indexed by the result of parse_count_whole.
static constexpr const char *count_messages[] = {
    nullptr,
    "num must be an integer",
    "num must be non-negative",
    "num must be at most 2147483647",
};
static_assert(std::size(count_messages) == 4, "one message per parse_count_whole result");

void
print_error(const char *message)
{
    std::fflush(stdout);
    std::fputs(message, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

int
report_failure(int code, const char *message)
{
    if (message)
        print_error(message);
    return code;
}

int
print_error_detail(int code, const char *prefix, const char *detail)
{
    if (prefix) {
        std::fflush(stdout);
        std::fputs(prefix, stderr);
        std::fputc(':', stderr);
        std::fputc(' ', stderr);
        std::fflush(stderr);
    }
    if (detail)
        print_error(detail);
    return code;
}

int
parse_count(const char *text, int32_t *out)
{
    char *end = nullptr;
    long value = std::strtol(text, &end, 10);
    // Only the low 32 bits are kept, as two's complement.
    *out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(value)));
    if (*end != '\0')
        return 1;
    return *out < 0 ? 2 : 0;
}

int
parse_count_whole(const char *text, int32_t *out)
{
    int result = parse_count(text, out);
    if (result == 1)
        return result;
    long whole = std::strtol(text, nullptr, 10);
    if (whole < 0)
        return 2;
    if (whole > INT32_MAX) {
        *out = INT32_MAX;
        return 3;
    }
    return 0;
}

const char *
count_message(int result)
{
    if (result < 0 || result >= static_cast<int>(std::size(count_messages)))
        return nullptr;
    return count_messages[result];
}

int32_t
format_code(const char *name)
{
    for (const format_name &f : format_names)
        if (std::strcmp(name, f.name) == 0)
            return f.code;
    return 0;
}

int32_t
format_option(const char *name, int32_t earlier)
{
    int32_t code = format_code(name);
    return code != 0 ? code : earlier;
}

int32_t
usable_format(int32_t code)
{
    switch (code) {
    case 1: // IBM floating point
    case 2: // 32-bit integer
    case 3: // 16-bit integer
    case 4: // fixed point with gain
    case 5: // IEEE floating point
    case 8: // 8-bit integer
        return code;
    case 0:
        // Many writers leave the field empty and mean IBM floating point.
        return 1;
    default:
        print_error(
            "sample format field is garbage. falling back to 4-byte float. override with --format");
        return 1;
    }
}

const char *
sample_format_name(int32_t code)
{
    if (code < 0 || code >= static_cast<int32_t>(std::size(format_labels)))
        return "invalid";
    return format_labels[code];
}

int
check_byte_positions(int32_t il_byte, int32_t xl_byte)
{
    // The library's field table holds the same 91 field starts as the trace field catalogue.
    if (quorva_field_width(il_byte) == 0)
        return report_failure(exit_bad_byte_position, "Invalid inline byte offset");
    if (quorva_field_width(xl_byte) == 0)
        return report_failure(exit_bad_byte_position, "Invalid crossline byte offset");
    return 0;
}

void
guard_standard_descriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Open descriptors below this one are taken, so the lowest free number is this one and
        // the placeholder lands on it.
        if (open("/", O_PATH | O_DIRECTORY) < 0) {
            int error = errno;
            std::exit(print_error_detail(error, "Unable to guard the standard descriptors",
                                         std::strerror(error)));
        }
    }
}

int
print_version(const char *name)
{
    std::printf("%s (quorva version %d.%d)\n", name, major_version, minor_version);
    return 0;
}

int
finish_output(int status)
{
    // A write that failed earlier left its cause in errno, which the output calls that succeeded
    // after it leave alone; the final flush may well succeed and must not hide it.
    int earlier = errno;
    bool failed_earlier = std::ferror(stdout) != 0;
    errno = 0;
    if (std::fflush(stdout) == 0 && !failed_earlier)
        return status;
    int error = failed_earlier ? earlier : errno;
    if (error == 0)
        error = EIO;
    print_error_detail(error, "write error", std::strerror(error));
    return status != 0 ? status : error;
}
