// SPDX-License-Identifier: MIT
// quorva-showtext, run as a user runs it: standard output, standard error and status.

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "run_program.h"
#include "segy_fixture.h"

static const std::string usage =
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
    "equivalent to --num 0\n"
    "\n";

static const std::string version = "quorva-showtext (quorva version 0.0)\n";
static const std::string no_operand =
    "missing file operand\nTry 'quorva-showtext --help' for more information.\n";
static const std::string not_integer = "num must be an integer\n";
static const std::string negative = "num must be non-negative\n";
static const std::string out_of_range = "Header index out of range\n";
static const std::string bad_binary = "Unable to read binary header\n";
static const std::string bad_header = "Unable to read header\n";
// "{M}" and "{D}" stand for the paths of the missing file and of the folder.
static const std::string missing = "quorva-showtext: {M}: No such file or directory\n";

// A 3200-byte header as the program shows it: 40 lines of 80 bytes, each with a newline.
static std::string
shown(const bytes &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += static_cast<char>(text[i]);
        if (i % 80 == 79)
            out += '\n';
    }
    return out;
}

static const std::string h0 = shown(ascii_card_text(
    {"C 1 QUORVA TEST FIXTURE", "C 2 SMALL SYNTHETIC SURVEY", "C40 END TEXTUAL HEADER"}));

static std::string
extended(int k)
{
    return shown(ascii_card_text({"C 1 EXTENDED HEADER " + std::to_string(k)}));
}

// The mandatory header and extended headers 1 to e.
static std::string
all_of(int e)
{
    std::string out = h0;
    for (int k = 1; k <= e; ++k)
        out += extended(k);
    return out;
}

static const bytes ascii_text = ascii_card_text({"C 1 ASCII HEADER", "C 2 PASSED THROUGH AS IS"});

// An ASCII header holding NUL, control and non-ASCII bytes, which go out as they are.
static bytes
control_text()
{
    bytes text = ascii_card_text({"C 1 CONTROL BYTES", "C 2 AND NUL BYTES"});
    for (auto [offset, byte] : {std::pair{20, 0x00},
                                {81, 0x01},
                                {159, '\n'},
                                {160, '\r'},
                                {250, 0x7F},
                                {300, 0xFF},
                                {301, 0x80},
                                {3198, '\t'},
                                {3199, 0}})
        text[static_cast<std::size_t>(offset)] = static_cast<unsigned char>(byte);
    return text;
}

// An EBCDIC header with the EBCDIC codes of NUL, horizontal tab and line feed.
static bytes
ebcdic_control_text()
{
    bytes text = ebcdic_card_text({"C 1 EBCDIC CONTROL BYTES"});
    text[30] = 0x00;
    text[31] = 0x05;
    text[32] = 0x25;
    return text;
}

static std::string
ebcdic_control_shown()
{
    bytes text = ascii_card_text({"C 1 EBCDIC CONTROL BYTES"});
    text[30] = 0x00;
    text[31] = '\t';
    text[32] = '\n';
    return shown(text);
}

static std::string
missing_path()
{
    return test_dir() + "/missing.sgy";
}

// The fixture files by name; other arguments pass unchanged.
static std::string
resolve_one(const std::string &arg)
{
    if (arg == "A")
        return write_segy("plain.sgy", make_segy());
    if (arg == "B")
        return write_segy("two.sgy", make_segy({.extended = 2}));
    if (arg == "F")
        return write_segy("forty.sgy", make_segy({.extended = 40}));
    if (arg == "X" || arg == "N" || arg == "C" || arg == "Z") {
        segy_file f = make_segy();
        f.text = arg == "X"   ? ascii_text
                 : arg == "N" ? control_text()
                 : arg == "C" ? ebcdic_control_text()
                              : bytes(3200, 0);
        return write_segy(arg + ".sgy", f);
    }
    if (arg == "M")
        return missing_path();
    if (arg == "D")
        return test_dir();
    bytes two = make_segy({.extended = 2}).serialize();
    if (arg == "T") // ends inside the binary header
        return write_file("short.sgy", bytes(two.begin(), two.begin() + 3500));
    if (arg == "U") // ends inside extended header 2
        return write_file("cut.sgy", bytes(two.begin(), two.begin() + 3600 + 3200 + 1000));
    if (arg == "E")
        return write_file("empty.sgy", {});
    if (arg == "G" || arg == "H") {
        segy_file f = make_segy();
        f.set_bin(3505, 2, arg == "G" ? -1 : 32767);
        return write_segy(arg + "-count.sgy", f);
    }
    return arg;
}

static std::vector<std::string>
resolve(const std::vector<std::string> &args)
{
    std::vector<std::string> out;
    for (const std::string &arg : args)
        out.push_back(resolve_one(arg));
    return out;
}

static std::string
expand(std::string text)
{
    for (auto [token, path] :
         {std::pair{std::string("{M}"), missing_path()}, std::pair{std::string("{D}"), test_dir()}})
        for (auto at = text.find(token); at != std::string::npos; at = text.find(token))
            text.replace(at, token.size(), path);
    return text;
}

static const std::string unknown_h = "quorva-showtext: invalid option -- 'h'\n";

// Files: "A" EBCDIC header and no extended one, "B" two extended headers, "F" forty,
// "X" an ASCII header, "N" one with NUL and control bytes, "C" EBCDIC control codes,
// "Z" all NUL bytes, "M" missing, "D" a folder, "T" cut inside the binary header,
// "U" cut inside extended header 2, "E" empty, "G" a count of -1, "H" a count of 32767
// with no extended header present.
static const cli_case cases[] = {
    // Default: the mandatory header of each file, back to back.
    {{"A"}, 0, h0, ""},
    {{"B", "A"}, 0, h0 + h0, ""},
    {{"X"}, 0, shown(ascii_text), ""},
    // Bytes go out exactly as the library hands them, NUL bytes included.
    {{"N"}, 0, shown(control_text()), ""},
    {{"C"}, 0, ebcdic_control_shown(), ""},
    {{"Z"}, 0, shown(bytes(3200, 0)), ""},
    // -n picks one header; the last -n counts.
    {{"-n", "1", "B"}, 0, extended(1), ""},
    {{"--num", "2", "B"}, 0, extended(2), ""},
    {{"--num=0", "B"}, 0, h0, ""},
    {{"-n", "", "B"}, 0, h0, ""},
    {{"-n", " +2", "B"}, 0, extended(2), ""},
    {{"-n", "-0", "A"}, 0, h0, ""},
    {{"-n1", "-n", "2", "B"}, 0, extended(2), ""},
    // An index beyond the file's count: skipped silently, or the end with -s.
    {{"-n", "1", "A", "B", "A"}, 0, extended(1), ""},
    {{"-n", "3", "B"}, 0, "", ""},
    {{"-s", "-n", "1", "B", "A", "B"}, 22, extended(1), out_of_range},
    {{"--strict", "--nonstrict", "-n", "3", "B"}, 0, "", ""},
    {{"-s", "-S", "-n", "3", "B"}, 0, "", ""},
    {{"-S", "-s", "-n", "3", "B"}, 22, "", out_of_range},
    // Header numbers beyond 32 bits name no header, rather than a small one by wrap-around.
    {{"-n", "4294967297", "B"}, 0, "", ""},
    {{"-n", "2147483648", "B"}, 0, "", ""},
    {{"-n", "99999999999999999999999", "B"}, 0, "", ""},
    {{"-s", "-n", "4294967298", "B"}, 22, "", out_of_range},
    {{"-n", "-4294967295", "B"}, 22, "", negative},
    // -a: every header of each file; the list only grows from file to file.
    {{"-a", "A"}, 0, h0, ""},
    {{"-a", "B"}, 0, all_of(2), ""},
    {{"--all", "F"}, 0, all_of(40), ""},
    {{"-a", "F", "B", "A"}, 0, all_of(40) + all_of(2) + h0, ""},
    {{"-a", "-n", "3", "B"}, 0, all_of(2), ""},
    {{"-n", "3", "-a", "-s", "B"}, 0, all_of(2), ""},
    // Bad -n arguments.
    {{"-n", "x", "A"}, 22, "", not_integer},
    {{"-n", "2x", "A"}, 22, "", not_integer},
    {{"-n", "1 ", "A"}, 22, "", not_integer},
    {{"--num", "0x1", "A"}, 22, "", not_integer},
    {{"-n", "-1", "A"}, 22, "", negative},
    {{"-n", "1", "-n", "x", "A"}, 22, "", not_integer},
    // --version ends the run before any file, and stops -n from being looked at.
    {{"--version"}, 0, version, ""},
    {{"--version", "M", "A"}, 0, version, ""},
    {{"A", "--version"}, 0, version, ""},
    {{"--version", "-n", "x"}, 0, version, ""},
    {{"-n", "x", "--version"}, 22, "", not_integer},
    // --help, unknown options and a missing argument show the help text with status 0.
    {{"--help", "A"}, 0, usage, ""},
    {{"--version", "--help"}, 0, usage, ""},
    {{"-h"}, 0, usage, unknown_h},
    {{"A", "-x"}, 0, usage, "quorva-showtext: invalid option -- 'x'\n"},
    {{"A", "-n"}, 0, usage, "quorva-showtext: option requires an argument -- 'n'\n"},
    {{"--num"}, 0, usage, "quorva-showtext: option '--num' requires an argument\n"},
    {{"--all=1", "A"}, 0, usage, "quorva-showtext: option '--all' doesn't allow an argument\n"},
    {{"--bogus"}, 0, usage, "quorva-showtext: unrecognized option '--bogus'\n"},
    // No operand.
    {{}, 2, "", no_operand},
    {{"-a", "-s"}, 2, "", no_operand},
    // Files that cannot be opened: skipped, or the end with -s.
    {{"A", "M", "A"}, 0, h0 + h0, missing},
    {{"-s", "A", "M", "A"}, 2, h0, missing},
    {{"D"}, 0, "", "quorva-showtext: {D}: No such file or directory\n"},
    {{"-s", "D", "A"}, 2, "", "quorva-showtext: {D}: No such file or directory\n"},
    // Damaged files end the run where they are found, non-strict or not.
    {{"T", "A"}, 1, "", bad_binary},
    {{"A", "E", "A"}, 1, h0, bad_binary},
    {{"G"}, 1, "", bad_binary},
    {{"-a", "U", "A"}, 22, all_of(1), bad_header},
    {{"-n", "2", "U"}, 22, "", bad_header},
    {{"-n", "1", "U"}, 0, extended(1), ""},
    {{"-a", "H"}, 22, h0, bad_header},
};

TEST(ShowtextCli, Cases)
{
    for (const cli_case &row : cases) {
        SCOPED_TRACE(joined(row.args));
        run_result r = run_program(showtext_path(), resolve(row.args));
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, expand(row.err));
    }
}

// Both streams to one file: a diagnostic from the helpers follows the headers already printed,
// while the open-failure line is written at once, ahead of headers still in the buffer.
TEST(ShowtextCli, OrderOnOneStream)
{
    const cli_case rows[] = {
        {{"A", "T"}, 1, h0 + bad_binary, ""},
        {{"-a", "U"}, 22, all_of(1) + bad_header, ""},
        {{"-s", "-n", "1", "B", "A"}, 22, extended(1) + out_of_range, ""},
        {{"A", "M", "A"}, 0, missing + h0 + h0, ""},
        {{"-s", "A", "M"}, 2, missing + h0, ""},
    };
    run_options merged;
    merged.merge_stderr = true;
    for (const cli_case &row : rows) {
        SCOPED_TRACE(joined(row.args));
        run_result r = run_program(showtext_path(), resolve(row.args), merged);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, expand(row.out));
    }
}

TEST(ShowtextCli, UnwritableOutputIsAFailure)
{
    run_options full;
    full.stdout_path = "/dev/full";
    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{"A"}, {"-a", "F"}, {"--version"}, {"--help"}}) {
        SCOPED_TRACE(joined(args));
        run_result r = run_program(showtext_path(), resolve(args), full);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.err, "write error: No space left on device\n");
    }
}

// Damaged files under every selection mode: a diagnostic and a status, never a signal or a
// hang (run_program kills a hung program, which then shows a signal).
TEST(ShowtextCli, DamagedFilesNeverCrashOrHang)
{
    const std::set<int> allowed = {0, 1, 22};
    for (const char *file : {"T", "U", "E", "G", "H"})
        for (const std::vector<std::string> &options : std::vector<std::vector<std::string>>{
                 {}, {"-a"}, {"-a", "-s"}, {"-n", "5"}, {"-s", "-n", "32767"}}) {
            std::vector<std::string> args = options;
            args.push_back(resolve_one(file));
            SCOPED_TRACE(joined(args));
            run_result r = run_program(showtext_path(), args);
            EXPECT_EQ(r.signal, 0);
            EXPECT_TRUE(allowed.count(r.status)) << "status " << r.status;
            EXPECT_EQ(r.out.size() % 3240, 0u);
        }
}

TEST(ShowtextCli, RealWorldSamples)
{
    std::string dir = samples_dir();
    SKIP_WITHOUT_SAMPLES(dir);
    for (const std::string &name : sample_names()) {
        SCOPED_TRACE(name);
        std::string path = dir + "/" + name;
        for (const char *option : {"-n0", "-a"}) {
            run_result r = run_program(showtext_path(), {option, path});
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            ASSERT_EQ(r.out.size(), 3240u);
            for (std::size_t end = 80; end < r.out.size(); end += 81)
                EXPECT_EQ(r.out[end], '\n');
        }
        // None of them has an extended header.
        run_result r = run_program(showtext_path(), {"-s", "-n", "1", path});
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 22);
        EXPECT_EQ(r.err, out_of_range);
    }
    // An EBCDIC header comes out as readable text.
    run_result r = run_program(showtext_path(), {dir + "/example.y_first_trace"});
    EXPECT_EQ(r.out.substr(0, 81), "C01" + std::string(77, ' ') + "\n");
    EXPECT_EQ(r.out.substr(81, 26), "C02 SEGYVIEW TEST DATA SET");
}
