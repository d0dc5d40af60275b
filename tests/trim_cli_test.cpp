// SPDX-License-Identifier: MIT
// quorva-trim, run as a user runs it: its checks, the files it writes, its statuses.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"
#include "segy_fixture.h"

static const std::string usage = "Usage: quorva-trim [OPTION]... SRC DST\n"
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
                                 "copies until the end.\n"
                                 "\n";

static const std::string version = "quorva-trim (quorva version 0.0)\n";
static const std::string same_file = "quorva-trim: output file must be different from input file\n";
static const std::string none_copied = "quorva-trim: no traces copied\n";

// Every check comes before any file is touched, so the operands need not exist; "a a" passes
// every check and meets the same-file test, which shows that all the others passed.
static const cli_case check_cases[] = {
    // Help, version and option errors, in command-line order.
    {{"--help"}, 0, usage, ""},
    {{"--help", "-i", "x", "a", "b"}, 0, usage, ""},
    {{"-b", "190", "--help"}, 0, usage, ""},
    {{"--version"}, 0, version, ""},
    {{"--version", "-i", "x"}, 0, version, ""},
    {{"-i", "x", "--version"}, 22, "", "num must be an integer\n"},
    {{"-i", "x", "--help"}, 22, "", "num must be an integer\n"},
    {{"-h"}, 2, usage, "quorva-trim: invalid option -- 'h'\n"},
    {{"-V", "a", "b"}, 2, usage, "quorva-trim: invalid option -- 'V'\n"},
    {{"--bogus", "a", "b"}, 2, usage, "quorva-trim: unrecognized option '--bogus'\n"},
    {{"a", "b", "-i"}, 2, usage, "quorva-trim: option requires an argument -- 'i'\n"},
    {{"--verbose=2", "a", "b"},
     2,
     usage,
     "quorva-trim: option '--verbose' doesn't allow an argument\n"},
    {{"-x", "--help"}, 22, "", "num must be an integer\n"},
    // Numbers.
    {{"-i", "12abc", "a", "b"}, 22, "", "num must be an integer\n"},
    {{"-S", "-5", "a", "b"}, 22, "", "num must be non-negative\n"},
    {{"-i", "12abc", "a"}, 22, "", "num must be an integer\n"},
    {{"-i", "", "-I", "0", "a", "a"}, 1, "", same_file},
    {{"-i", " 7", "-X", "+2147483647", "a", "a"}, 1, "", same_file},
    // The whole number counts, not its low 32 bits, for every numeric option.
    {{"--sample-end", "2147483648", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-i", "5", "-I", "4294967297", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-I", "4294967296", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-i", "4294967296", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-x", "99999999999999999999", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-X", "4294967396", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-s", "4294967296", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-b", "4294967485", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"--xl=4294967489", "a", "b"}, 22, "", "num must be at most 2147483647\n"},
    {{"-i", "-4294967295", "a", "b"}, 22, "", "num must be non-negative\n"},
    // Formats: exact names, and a known one stays in force.
    {{"-f", "IBM", "a", "b"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    {{"--format=", "a", "b"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    {{"-f", "ibm", "-f", "xyz", "a", "a"}, 1, "", same_file},
    {{"-f", "char", "-f", "ieee", "-f", "short", "-f", "long", "a", "a"}, 1, "", same_file},
    // Operand count, before every later check.
    {{}, 0, usage, "Wrong number of files\n"},
    {{"a"}, 0, usage, "Wrong number of files\n"},
    {{"-b", "190", "a", "b", "c"}, 0, usage, "Wrong number of files\n"},
    // Byte positions.
    {{"-b", "190", "a", "b"}, 253, "", "Invalid inline byte offset\n"},
    {{"-b", "0", "-i", "9", "-I", "1", "a", "a"}, 253, "", "Invalid inline byte offset\n"},
    {{"--il", "241", "a", "b"}, 253, "", "Invalid inline byte offset\n"},
    {{"-B", "194", "a", "b"}, 253, "", "Invalid crossline byte offset\n"},
    {{"-b", "190", "--xl=194", "a", "b"}, 253, "", "Invalid inline byte offset\n"},
    {{"-b", "9", "-B", "21", "a", "a"}, 1, "", same_file},
    {{"-b", "189", "-B", "189", "a", "a"}, 1, "", same_file},
    {{"--il=237", "--xl=1", "a", "a"}, 1, "", same_file},
    // Intervals: equal bounds are one value; the first empty one is reported.
    {{"-i", "10", "-I", "5", "-x", "3", "-X", "2", "a", "a"},
     252,
     "",
     "Invalid iline interval - file would be empty\n"},
    {{"--inline-begin", "5", "--inline-end", "4", "a", "b"},
     252,
     "",
     "Invalid iline interval - file would be empty\n"},
    {{"-x", "3", "-X", "2", "-s", "5", "-S", "1", "a", "a"},
     252,
     "",
     "Invalid xline interval - file would be empty\n"},
    {{"--crossline-end", "9", "--crossline-begin", "10", "a", "b"},
     252,
     "",
     "Invalid xline interval - file would be empty\n"},
    {{"-s", "100", "-S", "99", "a", "a"},
     252,
     "",
     "Invalid sample interval - file would be empty\n"},
    {{"--xline-begin", "3", "--xline-end", "2", "a", "b"},
     252,
     "",
     "Invalid xline interval - file would be empty\n"},
    {{"-i", "7", "-I", "7", "-x", "0", "-X", "0", "-s", "4", "-S", "4", "a", "a"},
     1,
     "",
     same_file},
    {{"-s", "100", "a", "a"}, 1, "", same_file},
    {{"-vvv", "--verbose", "a", "a"}, 1, "", same_file},
    // The same name twice is refused before anything is opened, even a missing file.
    {{"missing.sgy", "missing.sgy"}, 1, "", same_file},
};

TEST(TrimCli, OptionsAndChecks)
{
    for (const cli_case &row : check_cases)
        expect_case(trim_path(), row.args, row);
}

// ---------------------------------------------------------------------------------------------
// The copy engine, against a reference computed from sample times.

struct window_options {
    int32_t iline_begin = -1;
    int32_t iline_end = INT32_MAX;
    int32_t xline_begin = -1;
    int32_t xline_end = INT32_MAX;
    int32_t sample_begin = -1;
    int32_t sample_end = INT32_MAX;
    int format = 0;
    int il_byte = 189;
    int xl_byte = 193;
};

static window_options
parse_window(const std::vector<std::string> &args)
{
    window_options w;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        const std::string &option = args[i];
        const std::string &value = args[i + 1];
        if (option == "-i" || option == "--inline-begin")
            w.iline_begin = std::stoi(value);
        else if (option == "-I")
            w.iline_end = std::stoi(value);
        else if (option == "-x")
            w.xline_begin = std::stoi(value);
        else if (option == "-X" || option == "--crossline-end")
            w.xline_end = std::stoi(value);
        else if (option == "-s")
            w.sample_begin = std::stoi(value);
        else if (option == "-S")
            w.sample_end = std::stoi(value);
        else if (option == "-b")
            w.il_byte = std::stoi(value);
        else if (option == "-B")
            w.xl_byte = std::stoi(value);
        else if (option == "-f")
            w.format = value == "ibm"     ? 1
                       : value == "long"  ? 2
                       : value == "short" ? 3
                       : value == "ieee"  ? 5
                                          : 8;
        else
            continue;
        ++i;
    }
    return w;
}

static int64_t
floor_div(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The file quorva-trim should write. Sample n of a trace lies at its delay plus n intervals;
// a window keeps from the last sample at or before its begin to the first at or after its end.
// Inline and crossline fields are taken as 4 bytes wide.
static bytes
expected_copy(const bytes &in, const window_options &w)
{
    auto binary = [&](int position) {
        return static_cast<int32_t>(get_be(in.data() + 3200, 3201, position, 2, true));
    };
    std::size_t at = 3600 + 3200 * static_cast<std::size_t>(binary(3505));
    bytes out(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at));
    int32_t samples = binary(3221);
    int32_t format = w.format != 0 ? w.format : binary(3225);
    int64_t size = sample_size(format);
    std::size_t trace_bytes = static_cast<std::size_t>(samples * size);
    bool windowed = !(w.sample_begin < 0 && w.sample_end == INT32_MAX);
    for (; at + 240 <= in.size(); at += 240 + trace_bytes) {
        const unsigned char *header = in.data() + at;
        int64_t iline = get_be(header, 1, w.il_byte, 4, true);
        int64_t xline = get_be(header, 1, w.xl_byte, 4, true);
        if (iline < w.iline_begin || iline > w.iline_end || xline < w.xline_begin ||
            xline > w.xline_end)
            continue;
        int64_t delay = get_be(header, 1, 109, 2, true);
        int64_t interval = get_be(header, 1, 117, 2, true);
        if (interval == 0)
            interval = binary(3217);
        int64_t first = 0;
        int64_t last = samples - 1;
        if (windowed && interval > 0) {
            first =
                std::max<int64_t>(0, floor_div(w.sample_begin * 1000LL - delay * 1000, interval));
            last =
                std::min<int64_t>(last, -floor_div(delay * 1000 - w.sample_end * 1000LL, interval));
        }
        int64_t count = last - first + 1;
        // A trace left without samples is left out.
        if (count <= 0)
            continue;
        bytes trace(header, header + 240);
        put_be(trace.data(), 1, 115, 2, count);
        put_be(trace.data(), 1, 109, 2, delay + first * interval / 1000);
        out.insert(out.end(), trace.begin(), trace.end());
        auto from = in.begin() +
                    static_cast<std::ptrdiff_t>(at + 240 + static_cast<std::size_t>(first * size));
        out.insert(out.end(), from, from + count * size);
        put_be(out.data() + 3200, 3201, 3221, 2, count);
    }
    return out;
}

// 12 traces of 50 samples: inlines 10-12, crosslines 100-103, each trace with its own delay and
// some with their own interval (0 takes the binary header's 4000 us). Bytes 9 and 21 hold a
// second numbering for the byte-position options.
static segy_file
survey()
{
    segy_layout layout;
    layout.traces = 12;
    layout.samples = 50;
    layout.ilines = 3;
    segy_file f = make_segy(layout);
    // clang-format off
    static constexpr int delays[]    = {0,    100, -20,  37,   0, 250,  1000, -8,   4, 60,   0,    800};
    static constexpr int intervals[] = {4000, 0,   4000, 2000, 0, 4000, 3000, 4000, 0, 1000, 2500, 4000};
    // clang-format on
    for (std::size_t t = 0; t < f.traces.size(); ++t) {
        f.traces[t].set(109, 2, delays[t]);
        f.traces[t].set(117, 2, intervals[t]);
        f.traces[t].set(9, 4, static_cast<int64_t>(t % 3));
        f.traces[t].set(21, 4, static_cast<int64_t>(t));
    }
    return f;
}

static segy_file
one_trace(int samples, int delay, int interval)
{
    segy_layout layout;
    layout.traces = 1;
    layout.ilines = 1;
    layout.samples = samples;
    layout.interval_us = interval;
    segy_file f = make_segy(layout);
    f.traces[0].set(109, 2, delay);
    return f;
}

// The named input files of the engine table.
static bytes
fixture(const std::string &name)
{
    if (name == "survey")
        return survey().serialize();
    if (name == "worked") {
        // The worked example, and the same trace with a 2500 us interval of its own.
        segy_file f = one_trace(500, 100, 4000);
        f.traces.push_back(f.traces[0]);
        f.traces[1].set(117, 2, 2500);
        f.traces[1].set(189, 4, 11);
        return f.serialize();
    }
    if (name == "extended") {
        segy_layout layout;
        layout.extended = 2;
        return make_segy(layout).serialize();
    }
    if (name.rfind("format", 0) == 0) {
        segy_layout layout;
        layout.format = std::stoi(name.substr(6));
        segy_file f = make_segy(layout);
        return f.serialize();
    }
    if (name == "long-traces") {
        // Traces long enough to be sought past rather than read.
        segy_layout layout;
        layout.samples = 10000;
        layout.traces = 6;
        layout.ilines = 3;
        return make_segy(layout).serialize();
    }
    if (name == "mislabelled") {
        // 2-byte samples under a header that says 4-byte IBM floats.
        segy_layout layout;
        layout.format = 3;
        segy_file f = make_segy(layout);
        f.set_bin(3225, 2, 1);
        return f.serialize();
    }
    if (name == "two-delays") {
        // Samples at 0, 4, ... 36 ms and at 100, 104, ... 136 ms.
        segy_layout layout;
        layout.traces = 2;
        layout.samples = 10;
        segy_file f = make_segy(layout);
        f.traces[1].set(109, 2, 100);
        return f.serialize();
    }
    if (name == "no-samples")
        return one_trace(0, 0, 4000).serialize();
    if (name == "no-interval") {
        segy_file f = one_trace(10, 100, 0);
        f.traces[0].set(117, 2, 0);
        return f.serialize();
    }
    if (name == "negative-interval") {
        segy_file f = one_trace(10, 100, 4000);
        f.traces[0].set(117, 2, -4000);
        return f.serialize();
    }
    if (name == "binary-negative-interval") {
        // 40000 us in the binary header, which reads negative; the trace's own field is 0.
        segy_file f = one_trace(10, 0, 4000);
        f.set_bin(3217, 2, 40000);
        f.traces[0].set(117, 2, 0);
        return f.serialize();
    }
    if (name == "late-delay")
        return one_trace(2000, 30000, 4000).serialize();
    if (name == "microsecond")
        return one_trace(1000, 0, 1).serialize();
    if (name == "cut-text")
        return cut(survey().serialize(), 1000);
    if (name == "cut-binary")
        return cut(survey().serialize(), 3300);
    if (name == "cut-extended")
        return cut(fixture("extended"), 3600 + 3200 + 100);
    if (name == "cut-trace")
        return cut(survey().serialize(), survey().serialize().size() - 10);
    if (name == "partial-header") {
        segy_file f = survey();
        f.tail = bytes(100, 0);
        return f.serialize();
    }
    if (name == "bad-extended") {
        segy_file f = survey();
        f.set_bin(3505, 2, -1);
        return f.serialize();
    }
    if (name == "wide-samples") {
        segy_file f = survey();
        f.set_bin(3221, 2, 0x8000);
        return f.serialize();
    }
    // Files of many blocks of the copy, so that traces straddle the ends of what is read at
    // once: short traces of changing delays, some of whose sample counts the copy rewrites; more
    // tiny traces than one write takes; and traces long enough to be sought past.
    if (name == "many-traces" || name == "many-tiny-traces" || name == "many-long-traces") {
        segy_layout layout;
        layout.traces = name == "many-tiny-traces" ? 3000 : name == "many-traces" ? 400 : 120;
        layout.samples = name == "many-tiny-traces" ? 8 : name == "many-traces" ? 1000 : 5000;
        layout.ilines = name == "many-tiny-traces" ? 30 : name == "many-traces" ? 20 : 12;
        segy_file f = make_segy(layout);
        for (std::size_t t = 0; t < f.traces.size(); ++t) {
            f.traces[t].set(109, 2, static_cast<int64_t>(t % 7) * 4);
            if (t % 50 == 3)
                f.traces[t].set(115, 2, 0);
            // With -s 8, two samples go and the count comes out as stored: the delay alone
            // changes.
            if (t % 14 == 0)
                f.traces[t].set(115, 2, layout.samples - 2);
        }
        return f.serialize();
    }
    // Tiny traces of which a window cuts every other one, then every one: the runs of one write
    // fill up before its rewritten headers do, and then the headers.
    if (name == "half-cut-tiny-traces") {
        segy_layout layout;
        layout.traces = 1200;
        layout.samples = 10;
        layout.ilines = 12;
        segy_file f = make_segy(layout);
        for (std::size_t t = 0; t < 800; t += 2)
            f.traces[t].set(117, 2, 1000);
        return f.serialize();
    }
    if (name == "cut-many-long-traces") {
        bytes data = fixture("many-long-traces");
        return cut(data, data.size() - 5000);
    }
    throw std::invalid_argument("no fixture " + name);
}

struct copy_case {
    const char *fixture;
    // SRC and DST are appended unless present; NODIR is a destination in a missing folder.
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
};

static const std::string early_end = ": Unexpected end of file\n";

static const copy_case copy_cases[] = {
    // Inline and crossline selections.
    {"survey", {}, 0, "", ""},
    {"survey", {"-i", "11"}, 0, "", ""},
    {"survey", {"-i", "11", "-I", "11"}, 0, "", ""},
    {"survey", {"-I", "10"}, 0, "", ""},
    {"survey", {"-x", "101", "-X", "102"}, 0, "", ""},
    {"survey", {"--inline-begin", "11", "--crossline-end", "101"}, 0, "", ""},
    {"survey", {"-b", "9", "-B", "21", "-i", "1", "-I", "1", "-X", "8"}, 0, "", ""},
    {"long-traces", {"-x", "101"}, 0, "", ""},
    {"long-traces", {"-i", "11", "-I", "11", "-S", "100"}, 0, "", ""},
    // Time windows over traces of different delays and intervals.
    {"survey", {"-s", "100"}, 0, "", ""},
    {"survey", {"-S", "150"}, 0, "", ""},
    {"survey", {"-s", "50", "-S", "120"}, 0, "", ""},
    {"survey", {"-s", "104", "-S", "104"}, 0, "", ""},
    {"survey", {"-i", "12", "-s", "200", "-S", "300"}, 0, "", ""},
    // Most traces lie wholly before this window and are left out.
    {"survey", {"-s", "1000", "-S", "1100"}, 0, "", ""},
    // Windows that leave a trace no sample, one interval or more beyond its ends: the trace is
    // left out and the binary header keeps the count of the last trace written.
    {"two-delays", {"-s", "38"}, 0, "", ""},
    {"two-delays", {"-s", "40"}, 0, "", ""},
    {"two-delays", {"-s", "20", "-S", "96"}, 0, "", ""},
    {"two-delays", {"-s", "40", "-S", "96"}, 0, "", none_copied},
    {"two-delays", {"-s", "140"}, 0, "", none_copied},
    {"worked", {"-s", "250", "-S", "1000"}, 0, "", ""},
    {"worked", {"-s", "250", "-S", "1001"}, 0, "", ""},
    {"worked", {"-s", "109"}, 0, "", ""},
    // The format override sizes the samples only.
    {"survey", {"-f", "char"}, 0, "", ""},
    {"mislabelled", {"-f", "short", "-s", "8", "-S", "20"}, 0, "", ""},
    {"format3", {"-s", "8"}, 0, "", ""},
    {"format8", {"-S", "12"}, 0, "", ""},
    // Nothing selected: the headers alone, the binary header as it was.
    {"survey", {"-i", "10", "-I", "10", "-x", "999"}, 0, "", none_copied},
    {"survey", {"-i", "13"}, 0, "", none_copied},
    // Extended headers and the verbose lines.
    {"extended", {"-i", "11"}, 0, "", ""},
    {"extended",
     {"-v", "-i", "11"},
     0,
     "Copying text header\nCopying binary header\nCopying extended text header\n"
     "Copying extended text header\nCopying traces\nCopied 2 traces\n",
     ""},
    {"extended",
     {"-vv", "-i", "11"},
     0,
     "Copying text header\nCopying binary header\nCopying extended text header\n"
     "Copying extended text header\nInferred sample format ibm\nCopying traces\n"
     "Copied 2 traces\n",
     ""},
    {"extended",
     {"-v", "-vv", "-i", "11"},
     0,
     "Copying text header\nCopying binary header\nCopying extended text header\n"
     "Copying extended text header\nComputing samples-per-trace\nFound 8 samples per trace\n"
     "Inferred sample format ibm\nFound 32 bytes per trace\nCopying traces\nCopying trace 0\n"
     "Copying trace 1\nCopied 2 traces\n",
     ""},
    {"extended",
     {"-vvv", "-f", "ieee", "-i", "99"},
     0,
     "Copying text header\nCopying binary header\nCopying extended text header\n"
     "Copying extended text header\nComputing samples-per-trace\nFound 8 samples per trace\n"
     "Found 32 bytes per trace\nCopying traces\nCopied 0 traces\n",
     none_copied},
    // Format codes from the binary header.
    {"format0",
     {"-vv"},
     0,
     "Copying text header\nCopying binary header\nInferred sample format ibm\nCopying traces\n"
     "Copied 4 traces\n",
     ""},
    {"format4",
     {"-vv"},
     0,
     "Copying text header\nCopying binary header\nInferred sample format fixed-point 4-byte "
     "float\nCopying traces\nCopied 4 traces\n",
     ""},
    {"format3",
     {"-vv"},
     0,
     "Copying text header\nCopying binary header\nInferred sample format short\nCopying traces\n"
     "Copied 4 traces\n",
     ""},
    {"format7",
     {},
     0,
     "",
     "sample format field is garbage. falling back to 4-byte float. override with --format\n"},
    {"format7", {"-f", "ieee"}, 0, "", ""},
    // Samples per trace of 0: traces of no samples, left out like those a window empties.
    {"no-samples", {}, 0, "", none_copied},
    {"no-samples", {"-S", "10"}, 0, "", none_copied},
    {"no-samples", {"-s", "10"}, 0, "", none_copied},
    // No sample interval anywhere: fine while the window leaves the trace whole.
    {"no-interval", {}, 0, "", ""},
    {"no-interval", {"-s", "0", "-S", "100"}, 0, "", ""},
    {"no-interval", {"-s", "101"}, 254, "", "Could not determine sample interval\n"},
    {"no-interval", {"-S", "99"}, 254, "", "Could not determine sample interval\n"},
    // A negative interval: fine while the window surely leaves the trace whole (its end past
    // 100 ms + 10 x 65535 us).
    {"negative-interval", {}, 0, "", ""},
    {"negative-interval", {"-s", "0"}, 0, "", ""},
    {"negative-interval", {"-s", "100", "-S", "1000"}, 0, "", ""},
    {"negative-interval", {"-S", "500"}, 254, "", "Could not determine sample interval\n"},
    {"negative-interval", {"-s", "101"}, 254, "", "Could not determine sample interval\n"},
    {"binary-negative-interval", {"-s", "0"}, 0, "", ""},
    {"binary-negative-interval", {"-s", "1"}, 254, "", "Could not determine sample interval\n"},
    // A new delay beyond the signed 16-bit field.
    {"late-delay", {"-s", "32000"}, 0, "", ""},
    {"late-delay",
     {"-s", "33000"},
     34,
     "",
     "Unable to set delay recording time: Numerical result out of range\n"},
    // Far beyond the trace, where 32 bits would wrap back into it, and one interval past it.
    {"microsecond", {"-s", "2147483647"}, 0, "", none_copied},
    {"microsecond", {"-s", "2147483"}, 0, "", none_copied},
    {"microsecond", {"-s", "1"}, 0, "", none_copied},
    // Malformed and short files.
    {"bad-extended", {}, 255, "", "Malformed binary header\n"},
    {"wide-samples", {}, 254, "", "Could not determine samples per trace\n"},
    {"cut-text", {}, 5, "", "Unable to read text header" + early_end},
    {"cut-binary",
     {"-v"},
     5,
     "Copying text header\nCopying binary header\n",
     "Unable to read binary header" + early_end},
    {"cut-extended", {}, 5, "", "Unable to read ext text header" + early_end},
    {"cut-trace", {}, 5, "", "Unable to read trace" + early_end},
    {"cut-trace", {"-I", "11"}, 0, "", ""},
    {"partial-header", {}, 0, "", ""},
    // Many blocks: runs joined and split, headers rewritten, long traces sought past.
    {"many-traces", {}, 0, "", ""},
    {"many-traces", {"-i", "13", "-I", "15"}, 0, "", ""},
    {"many-traces", {"-x", "105", "-X", "106", "-s", "400", "-S", "2000"}, 0, "", ""},
    {"many-traces", {"-s", "8"}, 0, "", ""},
    {"many-tiny-traces", {"-s", "4"}, 0, "", ""},
    {"many-tiny-traces", {"-i", "20", "-x", "150"}, 0, "", ""},
    {"half-cut-tiny-traces", {"-s", "0", "-S", "20"}, 0, "", ""},
    {"many-long-traces", {}, 0, "", ""},
    {"many-long-traces", {"-i", "15", "-I", "16"}, 0, "", ""},
    {"many-long-traces", {"-x", "103", "-X", "103"}, 0, "", ""},
    {"many-long-traces", {"-i", "21", "-s", "100", "-S", "900"}, 0, "", ""},
    {"cut-many-long-traces", {"-i", "10", "-I", "20"}, 0, "", ""},
    {"cut-many-long-traces", {"-i", "21"}, 5, "", "Unable to read trace" + early_end},
    // Files that cannot be opened.
    {"survey", {"SRC", "NODIR"}, 2, "", "Unable to open dst: No such file or directory\n"},
};

TEST(TrimCli, CopiesMatchTheReference)
{
    for (const copy_case &row : copy_cases) {
        SCOPED_TRACE(row.fixture + std::string(" ") + joined(row.args));
        bytes input = fixture(row.fixture);
        std::string src = write_file("in.sgy", input);
        std::string dst = test_dir() + "/out.sgy";
        std::filesystem::remove(dst);
        std::vector<std::string> args;
        for (const std::string &arg : row.args)
            args.push_back(arg == "SRC"     ? src
                           : arg == "NODIR" ? test_dir() + "/none/out.sgy"
                                            : arg);
        if (std::find(row.args.begin(), row.args.end(), "SRC") == row.args.end()) {
            args.push_back(src);
            args.push_back(dst);
        }
        run_result r = run_program(trim_path(), args);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, row.err);
        if (row.status == 0) {
            EXPECT_EQ(read_file(dst), expected_copy(input, parse_window(row.args)));
        }
        EXPECT_EQ(read_file(src), input);
    }
}

// The worked example, checked by its own numbers rather than by the reference.
TEST(TrimCli, WorkedExample)
{
    segy_file in = one_trace(500, 100, 4000);
    std::string src = write_segy("in.sgy", in);
    std::string dst = test_dir() + "/out.sgy";
    run_result r = run_program(trim_path(), {"-s", "250", "-S", "1000", src, dst});
    ASSERT_EQ(r.status, 0);
    bytes out = read_file(dst);
    ASSERT_EQ(out.size(), 3600u + 240 + 189 * 4);
    EXPECT_EQ(get_be(out.data() + 3600, 1, 115, 2, true), 189);
    EXPECT_EQ(get_be(out.data() + 3600, 1, 109, 2, true), 248);
    EXPECT_EQ(get_be(out.data() + 3200, 3201, 3221, 2, true), 189);
    bytes kept(in.traces[0].samples.begin() + 37 * 4, in.traces[0].samples.begin() + 226 * 4);
    EXPECT_EQ(bytes(out.begin() + 3840, out.end()), kept);
}

TEST(TrimCli, WholeCopyIsByteIdentical)
{
    segy_layout layout;
    layout.traces = 30;
    layout.extended = 1;
    layout.format = 3;
    bytes input = make_segy(layout).serialize();
    std::string src = write_file("in.sgy", input);
    std::string dst = test_dir() + "/out.sgy";
    write_file("out.sgy", bytes(100000, 'x'));
    run_result r = run_program(trim_path(), {src, dst});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dst), input);
}

// ---------------------------------------------------------------------------------------------
// Faults the checks alone would let through.

TEST(TrimCli, RefusesTheInputUnderAnotherName)
{
    namespace fs = std::filesystem;
    bytes input = survey().serialize();
    std::string src = write_file("in.sgy", input);
    fs::create_directories(test_dir() + "/sub");
    fs::create_symlink(src, test_dir() + "/link.sgy");
    fs::create_hard_link(src, test_dir() + "/hard.sgy");
    std::string relative = fs::relative(src).string();
    for (const std::string &dst : {relative, "./" + relative, test_dir() + "/sub/../in.sgy",
                                   test_dir() + "/link.sgy", test_dir() + "/hard.sgy"}) {
        SCOPED_TRACE(dst);
        run_result r = run_program(trim_path(), {"-i", "11", src, dst});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, same_file);
        EXPECT_EQ(read_file(src), input);
    }
    // Through a link as the input, too.
    run_result r = run_program(trim_path(), {test_dir() + "/link.sgy", src});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(src), input);
}

static std::string
shell_quoted(const std::string &text)
{
    return "'" + text + "'";
}

// The shell gives quorva-trim a pipe for one of its files; its status lands in a file.
static run_result
run_in_pipeline(const std::string &pipeline, std::string *status)
{
    std::string status_path = test_dir() + "/status";
    run_result r = run_program("/bin/sh", {"-c", pipeline + "; echo $? > " + status_path});
    bytes text = read_file(status_path);
    *status = std::string(text.begin(), text.end());
    return r;
}

// quorva-trim reads the input from a pipe and writes what it writes from the file.
static void
expect_copy_through_pipe(const bytes &input, const std::vector<std::string> &options)
{
    SCOPED_TRACE(joined(options));
    std::string src = write_file("in.sgy", input);
    std::string dst = test_dir() + "/out.sgy";
    std::string status;
    run_result r = run_in_pipeline("cat " + shell_quoted(src) + " | " + shell_quoted(trim_path()) +
                                       " " + joined(options) + "/dev/stdin " + shell_quoted(dst),
                                   &status);
    EXPECT_EQ(status, "0\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dst), expected_copy(input, parse_window(options)));
}

TEST(TrimCli, ReadsThroughAPipe)
{
    // Short traces are read past; long ones are sought past, and a pipe refuses the seek.
    segy_layout long_traces;
    long_traces.samples = 10000;
    long_traces.traces = 6;
    long_traces.ilines = 3;
    for (const bytes &input : {survey().serialize(), make_segy(long_traces).serialize()})
        for (const std::vector<std::string> &options :
             std::vector<std::vector<std::string>>{{}, {"-i", "11", "-s", "60"}, {"-x", "101"}})
            expect_copy_through_pipe(input, options);
}

// Inputs of many blocks of the copy, through a pipe, which reads past what a file would skip.
TEST(TrimCli, ReadsManyBlocksThroughAPipe)
{
    for (const char *name : {"many-traces", "many-long-traces"}) {
        SCOPED_TRACE(name);
        for (const std::vector<std::string> &options : std::vector<std::vector<std::string>>{
                 {"-x", "103", "-X", "103"}, {"-i", "15", "-s", "8"}})
            expect_copy_through_pipe(fixture(name), options);
    }
}

TEST(TrimCli, AnOutputThatCannotSeekIsAFailure)
{
    std::string src = write_segy("in.sgy", survey());
    std::string status;
    run_result r = run_in_pipeline(
        "{ " + shell_quoted(trim_path()) + " " + shell_quoted(src) + " /dev/stdout; echo $? > " +
            shell_quoted(test_dir() + "/trim-status") + "; } | cat > /dev/null",
        &status);
    bytes trim_status = read_file(test_dir() + "/trim-status");
    EXPECT_EQ(std::string(trim_status.begin(), trim_status.end()), "29\n");
    EXPECT_EQ(r.err, "Unable to write binary header: Illegal seek\n");
}

// Started with standard descriptors closed, the program must not open DST on one of them, where
// the diagnostics or the verbose lines would be written into the copy.
TEST(TrimCli, ClosedStandardDescriptorsStayOutOfTheOutput)
{
    const std::string bad_stdout = "write error: Bad file descriptor\n";
    const struct {
        const char *fixture;
        std::vector<std::string> options;
        const char *redirections;
        int status;
        std::string err;
    } cases[] = {
        {"format7", {}, "<&- 2>&-", 0, ""},
        {"survey", {"-i", "99"}, "<&- 2>&-", 0, ""},
        {"survey", {"-vvv"}, "<&- >&-", 9, bad_stdout},
        {"format7", {"-vvv", "-i", "11"}, "<&- >&- 2>&-", 9, ""},
        {"survey", {"-v"}, ">&- 2>&-", 9, ""},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.fixture + (" " + joined(row.options)) + row.redirections);
        bytes input = fixture(row.fixture);
        std::string src = write_file("in.sgy", input);
        std::string dst = test_dir() + "/out.sgy";
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {src, dst});
        run_result r = run_redirected(trim_path(), args, row.redirections);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
        EXPECT_EQ(read_file(dst), expected_copy(input, parse_window(row.options)));
    }
}

// DST may not be the file that the verbose lines (standard output) or the diagnostics (standard
// error) go to; it is refused before it is opened, so what the file held stays.
TEST(TrimCli, RefusesAnOutputSharedWithItsText)
{
    const std::string to_stdout =
        "quorva-trim: output file must be different from standard output with -v\n";
    const std::string to_stderr =
        "quorva-trim: output file must be different from standard error\n";
    bytes input = survey().serialize();
    std::string src = write_file("in.sgy", input);
    std::string out = test_dir() + "/out.sgy";
    std::string link = test_dir() + "/link.sgy";
    const struct {
        std::vector<std::string> args;
        std::string redirections;
        int status;
        std::string err;
        std::string file; // out.sgy afterwards; "COPY" for the copy of the input
    } cases[] = {
        {{"-v", src, "/dev/stdout"}, ">> " + out, 1, to_stdout, "kept"},
        {{"-vvv", "-i", "11", src, link}, ">> " + out, 1, to_stdout, "kept"},
        {{src, "/dev/stderr"}, "2>> " + out, 1, "", "kept" + to_stderr},
        {{"-v", src, link}, "2>> " + out, 1, "", "kept" + to_stderr},
        {{src, "/dev/stdout"}, "> " + out, 0, "", "COPY"},
        {{"-v", src, "/dev/null"}, "> /dev/null 2> /dev/null", 0, "", "kept"},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(joined(row.args) + row.redirections);
        write_file("out.sgy", bytes{'k', 'e', 'p', 't'});
        std::filesystem::remove(link);
        std::filesystem::create_hard_link(out, link);
        run_result r = run_redirected(trim_path(), row.args, row.redirections);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, row.err);
        bytes file = read_file(out);
        if (row.file == "COPY")
            EXPECT_EQ(file, input);
        else
            EXPECT_EQ(std::string(file.begin(), file.end()), row.file);
    }
}

TEST(TrimCli, AFullDiskIsAFailure)
{
    segy_layout small;
    segy_layout large;
    large.traces = 100;
    large.samples = 1000;
    for (const segy_layout &layout : {small, large}) {
        std::string src = write_segy("in.sgy", make_segy(layout));
        run_result r = run_program(trim_path(), {src, "/dev/full"});
        EXPECT_EQ(r.status, 28);
        EXPECT_TRUE(r.err.ends_with(": No space left on device\n")) << r.err;
    }
    // The verbose lines on a full standard output.
    std::string src = write_segy("in.sgy", make_segy());
    run_options full;
    full.stdout_path = "/dev/full";
    run_result r = run_program(trim_path(), {"-v", src, test_dir() + "/out.sgy"}, full);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "write error: No space left on device\n");
}

TEST(TrimCli, ReportsAFailedAllocation)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers own malloc; no allocation failure can be injected";
#else
    run_options preload;
    segy_layout layout;
    layout.samples = 20000;
    std::string src = write_segy("in.sgy", make_segy(layout));
    std::string dst = test_dir() + "/out.sgy";
    run_result r =
        run_program("/usr/bin/env", {"LD_PRELOAD=" QUORVA_FAIL_MALLOC, trim_path(), src, dst});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.err, "Unable to allocate trace buffer: Cannot allocate memory\n");
    // Small traces stay below the failing size: the preloaded library alone changes nothing.
    std::string small = write_segy("small.sgy", make_segy());
    r = run_program("/usr/bin/env", {"LD_PRELOAD=" QUORVA_FAIL_MALLOC, trim_path(), small, dst});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dst), read_file(small));
#endif
}

TEST(TrimCli, MalformedFilesNeverCrash)
{
    std::mt19937 random(20240611);
    const bytes clean = survey().serialize();
    const std::vector<std::vector<std::string>> option_sets = {{},
                                                               {"-s", "50", "-S", "120"},
                                                               {"-s", "2147483647"},
                                                               {"-S", "0"},
                                                               {"-i", "11", "-f", "char"}};
    // Fields that steer the copy: sample count, interval, format, extended count; trace delay,
    // count, interval, inline.
    const std::size_t hot[] = {3216,       3220,       3224,
                               3504,       3600 + 108, 3600 + 114,
                               3600 + 116, 3600 + 188, 3600 + 2 * 440 + 108};
    for (int round = 0; round < 40; ++round) {
        bytes data = clean;
        for (int flips = 0; flips < 3; ++flips) {
            std::size_t at = hot[random() % std::size(hot)] + random() % 2;
            data[at] = static_cast<unsigned char>(random());
        }
        if (round % 3 == 0)
            data.resize(random() % data.size());
        std::string src = write_file("fuzz.sgy", data);
        const std::vector<std::string> &options = option_sets[random() % option_sets.size()];
        std::vector<std::string> args = options;
        args.push_back(src);
        args.push_back(test_dir() + "/out.sgy");
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << joined(options));
        expect_no_crash(run_program(trim_path(), args));
    }
}

TEST(TrimCli, RealWorldSamples)
{
    std::string dir = samples_dir();
    SKIP_WITHOUT_SAMPLES(dir);
    std::string dst = test_dir() + "/out.sgy";
    // Big-endian files whose every trace holds the binary header's sample count.
    for (const char *name :
         {"1.sgy_first_trace", "example.y_first_trace", "ld0042_file_00018.sgy_first_trace",
          "one_trace_year_11.sgy", "su-329.sgy", "su-data.sgy", "su-junk.sgy"}) {
        SCOPED_TRACE(name);
        std::string src = dir + "/" + name;
        bytes input = read_file(src);
        run_result r = run_program(trim_path(), {src, dst});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(dst), input);
        r = run_program(trim_path(), {"-s", "20", "-S", "60", src, dst});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(read_file(dst), expected_copy(input, parse_window({"-s", "20", "-S", "60"})));
    }
    // Little-endian files read big-endian: no usable sample count.
    for (const char *name : {"00001034.sgy_first_trace", "planes.segy_first_trace"}) {
        SCOPED_TRACE(name);
        run_result r = run_program(trim_path(), {dir + "/" + name, dst});
        expect_no_crash(r);
    }
    // A real file cut short inside its last trace.
    run_result r = run_program(trim_path(), {dir + "/su-File010690.sgy", dst});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.err, "Unable to read trace" + early_end);
}
