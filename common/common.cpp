// SPDX-License-Identifier: MIT
// Diagnostics, number parsing and the version line shared by every quorva program.

#include "common.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

int32_t
format_code(const char *name)
{
    for (const format_name &f : format_names)
        if (std::strcmp(name, f.name) == 0)
            return f.code;
    return 0;
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

int
print_version(const char *name)
{
    std::printf("%s (quorva version %d.%d)\n", name, major_version, minor_version);
    return 0;
}

int
finish_output(int status)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    // A write that failed earlier may have left errno behind; EIO stands in when it did not.
    int error = errno != 0 ? errno : EIO;
    print_error_detail(error, "write error", std::strerror(error));
    return status != 0 ? status : error;
}
