// SPDX-License-Identifier: MIT
// The shared helpers: number parsing, diagnostics and the version line.

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

#include "common.h"
#include "trace_fields.h"

struct parse_case {
    const char *text;
    int32_t value;
    int result;
};

// clang-format off
static constexpr parse_case parse_cases[] = {
    {"42",          42,        0},
    {" 42",         42,        0},
    {"42 ",         42,        1},
    {"+7",          7,         0},
    {"-3",          -3,        2},
    {"-0",          0,         0},
    {"abc",         0,         1},
    {"",            0,         0},
    {"0x10",        0,         1},
    {"12ab",        12,        1},
    {"   ",         0,         1},
    // Beyond 32 bits only the low 32 bits are kept.
    {"2147483648",  INT32_MIN, 2},
    {"4294967297",  1,         0},
    {"2147483647",  INT32_MAX, 0},
    // Beyond 64 bits strtol clamps; the low 32 bits of LONG_MAX are all ones.
    {"99999999999999999999", -1, 2},
};
// clang-format on

TEST(ParseCount, TextByText)
{
    for (const parse_case &row : parse_cases) {
        SCOPED_TRACE(row.text);
        int32_t value = 12345;
        EXPECT_EQ(parse_count(row.text, &value), row.result);
        EXPECT_EQ(value, row.value);
    }
}

TEST(ParseCount, WholeNumbers)
{
    const struct {
        const char *text;
        int32_t value;
        int result;
    } cases[] = {{"42", 42, 0},
                 {"x", 0, 1},
                 {"-0", 0, 0},
                 {"2147483647", INT32_MAX, 0},
                 {"2147483648", INT32_MAX, 3},
                 {"4294967297", INT32_MAX, 3},
                 {"-4294967295", 1, 2},
                 {"-1", -1, 2}};
    for (const auto &row : cases) {
        SCOPED_TRACE(row.text);
        int32_t value = 12345;
        EXPECT_EQ(parse_count_whole(row.text, &value), row.result);
        EXPECT_EQ(value, row.value);
    }
}

TEST(ParseCount, MessagesForRefusedNumbers)
{
    EXPECT_EQ(count_message(0), nullptr);
    EXPECT_STREQ(count_message(1), "num must be an integer");
    EXPECT_STREQ(count_message(2), "num must be non-negative");
    EXPECT_STREQ(count_message(3), "num must be at most 2147483647");
    EXPECT_EQ(count_message(4), nullptr);
}

TEST(Diagnostics, MessagesAndCodes)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(report_failure(2, nullptr), 2);
    EXPECT_EQ(print_error_detail(5, nullptr, nullptr), 5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    print_error("Missing argument\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Missing argument\n\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(report_failure(1, "No such file or directory"), 1);
    EXPECT_EQ(print_error_detail(7, "Unable to open src", "No such file"), 7);
    EXPECT_EQ(print_error_detail(8, "open", nullptr), 8);
    EXPECT_EQ(print_error_detail(9, nullptr, "alone"), 9);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No such file or directory\nUnable to open src: No such file\nopen: alone\n");
}

TEST(Diagnostics, VersionLine)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(print_version("quorva-showbin"), 0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "quorva-showbin (quorva version 0.0)\n");
}

TEST(Formats, NamesAndFallback)
{
    const struct {
        const char *name;
        int32_t code;
    } names[] = {{"ibm", 1}, {"long", 2}, {"short", 3}, {"ieee", 5}, {"char", 8},
                 {"IBM", 0}, {"", 0},     {"ibm ", 0},  {"fixed", 0}};
    for (const auto &row : names) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(format_code(row.name), row.code);
    }

    const std::string garbage =
        "sample format field is garbage. falling back to 4-byte float. override with --format\n";
    const struct {
        int32_t code;
        int32_t used;
        bool warned;
    } codes[] = {{1, 1, false}, {4, 4, false}, {8, 8, false}, {0, 1, false},
                 {6, 1, true},  {9, 1, true},  {-1, 1, true}, {16, 1, true}};
    for (const auto &row : codes) {
        SCOPED_TRACE(row.code);
        testing::internal::CaptureStderr();
        EXPECT_EQ(usable_format(row.code), row.used);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.warned ? garbage : "");
    }
}

TEST(Formats, PrintedNames)
{
    const struct {
        int32_t code;
        const char *name;
    } names[] = {{1, "ibm"},     {2, "long"},    {3, "short"},   {4, "fixed-point 4-byte float"},
                 {5, "ieee"},    {8, "char"},    {0, "invalid"}, {6, "invalid"},
                 {9, "invalid"}, {-1, "invalid"}};
    for (const auto &row : names) {
        SCOPED_TRACE(row.code);
        EXPECT_STREQ(sample_format_name(row.code), row.name);
    }
}

// The inline position is checked first; both are field starts of the trace field catalogue.
TEST(BytePositions, CheckedAgainstTheCatalogue)
{
    for (int32_t position = -2; position <= 242; ++position) {
        SCOPED_TRACE(position);
        testing::internal::CaptureStderr();
        int status = check_byte_positions(position, 193);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, is_trace_field_position(position) ? 0 : exit_bad_byte_position);
        EXPECT_EQ(err, status == 0 ? "" : "Invalid inline byte offset\n");
        testing::internal::CaptureStderr();
        status = check_byte_positions(189, position);
        err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, is_trace_field_position(position) ? 0 : exit_bad_byte_position);
        EXPECT_EQ(err, status == 0 ? "" : "Invalid crossline byte offset\n");
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_byte_positions(190, 194), exit_bad_byte_position);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid inline byte offset\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_byte_positions(189, INT32_MAX), exit_bad_byte_position);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid crossline byte offset\n");
}

TEST(Formats, OptionKeepsAKnownFormat)
{
    const struct {
        const char *name;
        int32_t earlier;
        int32_t code;
    } rows[] = {{"ibm", 0, 1}, {"char", 5, 8}, {"xyz", 0, 0}, {"xyz", 1, 1}, {"IBM", 3, 3}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(format_option(row.name, row.earlier), row.code);
    }
}
