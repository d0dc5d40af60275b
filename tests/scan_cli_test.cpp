// SPDX-License-Identifier: MIT
// quorva-scan, run as a user runs it: the summary of each file, text and JSON, and its failures.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"
#include "segy_fixture.h"

static const std::string usage =
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
    "    --help                 display this help and exit\n"
    "\n";

static const std::string garbage =
    "sample format field is garbage. falling back to 4-byte float. override with --format\n";

// Every option check comes before any file is opened, so the operands need not exist.
static const cli_case option_cases[] = {
    {{"--help"}, 0, usage, ""},
    {{"--help", "-b", "x"}, 0, usage, ""},
    {{"--version", "missing"}, 0, "quorva-scan (quorva version 0.0)\n", ""},
    {{"-b", "x", "--help"}, 22, "", "num must be an integer\n"},
    {{"-h", "f"}, 2, usage, "quorva-scan: invalid option -- 'h'\n"},
    {{"--bogus", "f"}, 2, usage, "quorva-scan: unrecognized option '--bogus'\n"},
    {{"f", "-b"}, 2, usage, "quorva-scan: option requires an argument -- 'b'\n"},
    {{"--json=1", "f"}, 2, usage, "quorva-scan: option '--json' doesn't allow an argument\n"},
    {{}, 2, usage, "Missing argument\n"},
    {{"-b", "190", "-j"}, 2, usage, "Missing argument\n"},
    // Numbers and positions, checked as quorva-trim checks them.
    {{"-b", "12abc", "f"}, 22, "", "num must be an integer\n"},
    {{"--xl", "-1", "f"}, 22, "", "num must be non-negative\n"},
    {{"-b", "190", "missing"}, 253, "", "Invalid inline byte offset\n"},
    {{"--il=0", "-B", "194", "missing"}, 253, "", "Invalid inline byte offset\n"},
    {{"-B", "241", "missing"}, 253, "", "Invalid crossline byte offset\n"},
    // 2^32 + 189 does not pass for 189.
    {{"-b", "4294967485", "missing"}, 22, "", "num must be at most 2147483647\n"},
    {{"-f", "IBM", "f"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    {{"--format=", "f"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    {{"-f", "ibm", "-f", "xyz", "-b", "9", "-B", "21", "missing"},
     2,
     "",
     "quorva-scan: missing: No such file or directory\n"},
};

TEST(ScanCli, OptionsAndChecks)
{
    for (const cli_case &row : option_cases)
        expect_case(scan_path(), row.args, row);
}

// ---------------------------------------------------------------------------------------------
// Summaries. A fixture is named in a row as @NAME, which stands for the path of its file in the
// arguments and in the expected output alike.

static segy_file
ordered(const segy_layout &layout, const std::vector<std::pair<int, int>> &lines)
{
    segy_layout sized = layout;
    sized.traces = static_cast<int>(lines.size());
    segy_file f = make_segy(sized);
    for (std::size_t t = 0; t < lines.size(); ++t) {
        f.traces[t].set(189, 4, lines[t].first);
        f.traces[t].set(193, 4, lines[t].second);
    }
    return f;
}

// Default layout: 4 traces of 8 IBM samples (272 bytes each, file 4688 bytes), inlines 10-11,
// crosslines 100-101, inline sorted.
static bytes
fixture(const std::string &name)
{
    segy_layout layout;
    if (name == "small")
        return make_segy().serialize();
    if (name == "one") {
        layout.traces = 1;
        return make_segy(layout).serialize();
    }
    if (name == "survey" || name == "bycrossline") {
        // 3 inlines of 4 crosslines; delays from -8 to 36 ms.
        layout.traces = 12;
        layout.ilines = 3;
        segy_file f = make_segy(layout);
        for (std::size_t t = 0; t < f.traces.size(); ++t)
            f.traces[t].set(109, 2, static_cast<int64_t>(t) * 4 - 8);
        if (name == "bycrossline") {
            std::vector<segy_trace> traces;
            for (int x = 0; x < 4; ++x)
                for (int i = 0; i < 3; ++i)
                    traces.push_back(f.traces[static_cast<std::size_t>(i * 4 + x)]);
            f.traces = traces;
        }
        return f.serialize();
    }
    if (name == "unsorted")
        return ordered(layout, {{10, 101}, {11, 100}, {10, 100}, {11, 101}}).serialize();
    if (name == "duplicate")
        return ordered(layout, {{10, 100}, {10, 100}, {11, 100}, {11, 101}}).serialize();
    if (name == "snake")
        return ordered(layout, {{10, 100}, {10, 101}, {10, 102}, {11, 102}, {11, 101}, {11, 100}})
            .serialize();
    if (name == "irregular")
        // Steps of 2 and, from differences of 4, 6 and 10, 2 again: 3 x 6 places for 9 traces.
        return ordered(layout, {{10, 100},
                                {10, 104},
                                {10, 110},
                                {12, 100},
                                {12, 104},
                                {12, 110},
                                {14, 100},
                                {14, 104},
                                {14, 110}})
            .serialize();
    if (name == "truncated")
        return cut(make_segy().serialize(), 4678);
    if (name == "tail") {
        segy_file f = make_segy();
        f.tail = bytes(100, 0);
        return f.serialize();
    }
    if (name == "headers" || name == "headtail") {
        layout.traces = 0;
        segy_file f = make_segy(layout);
        if (name == "headtail")
            f.tail = bytes(100, 7);
        return f.serialize();
    }
    if (name == "empty")
        return {};
    if (name == "cutbinary")
        return cut(make_segy().serialize(), 3300);
    if (name == "extended" || name == "cutextended") {
        layout.extended = 2;
        bytes data = make_segy(layout).serialize();
        return name == "extended" ? data : cut(data, 3600 + 3200 + 100);
    }
    if (name == "badextended" || name == "widesamples") {
        segy_file f = make_segy();
        if (name == "badextended")
            f.set_bin(3505, 2, -1);
        else
            f.set_bin(3221, 2, 0x8000);
        return f.serialize();
    }
    if (name.rfind("format", 0) == 0) {
        layout.format = std::stoi(name.substr(6));
        return make_segy(layout).serialize();
    }
    if (name == "mislabelled") {
        // 2-byte samples under a header that says 4-byte IBM floats.
        layout.format = 3;
        segy_file f = make_segy(layout);
        f.set_bin(3225, 2, 1);
        return f.serialize();
    }
    if (name == "mismatch") {
        segy_file f = make_segy();
        f.traces[1].set(115, 2, 7);
        f.traces[2].set(117, 2, 2000);
        f.traces[3].set(117, 2, 0);
        return f.serialize();
    }
    if (name == "ascii") {
        segy_file f = make_segy();
        f.text = ascii_card_text({"C 1 AN ASCII CARD HEADER"});
        return f.serialize();
    }
    if (name == "scalco") {
        segy_file f = make_segy();
        for (segy_trace &t : f.traces)
            t.set(71, 2, -100);
        return f.serialize();
    }
    throw std::invalid_argument("no fixture " + name);
}

static std::string
replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The row's arguments with every @NAME made a file (or, for @missing and @dir, a missing file
// and a folder), and the expected texts with the same paths.
static cli_case
concrete(const cli_case &row)
{
    cli_case out = row;
    out.args.clear();
    for (const std::string &arg : row.args) {
        if (arg.empty() || arg[0] != '@') {
            out.args.push_back(arg);
            continue;
        }
        std::string name = arg.substr(1);
        std::string path = test_dir() + "/" + name + ".sgy";
        if (name == "dir")
            std::filesystem::create_directories(path);
        else if (name != "missing")
            write_file(name + ".sgy", fixture(name));
        out.args.push_back(path);
        // Names are chosen so that none is the start of another.
        out.out = replaced(out.out, arg, path);
        out.err = replaced(out.err, arg, path);
    }
    return out;
}

#define SMALL_HEAD(name, size)                                                                     \
    "file\t" name "\nsize\t" size "\ntext_encoding\tebcdic\nextended_headers\t0\nformat\t1\tibm\n" \
    "samples\t8\ninterval\t4000\ntrace_bytes\t272\n"
#define SMALL_LINES "inline\t10\t11\t1\ncrossline\t100\t101\t1\n"
#define SMALL_TAIL "delay\t0\t0\nsample_count_mismatch\t0\ninterval_mismatch\t0\n"
// The whole block of a file of the small survey's four traces.
#define SMALL_BLOCK(name, size, traces, trailing, sorting, regular)                                \
    SMALL_HEAD(name, size)                                                                         \
    "traces\t" traces "\ntrailing_bytes\t" trailing "\n" SMALL_LINES "sorting\t" sorting           \
    "\nregular\t" regular "\n" SMALL_TAIL

static const std::string small_block = SMALL_BLOCK("@small", "4688", "4", "0", "inline", "yes");
static const std::string one_block =
    SMALL_HEAD("@one", "3872") "traces\t1\ntrailing_bytes\t0\ninline\t10\t10\t0\n"
                               "crossline\t100\t100\t0\nsorting\tinline\nregular\tyes\n" SMALL_TAIL;
static const std::string small_fields = "field\ttracl\t1\t4\t1\t4\n"
                                        "field\ttracr\t1\t4\t1\t4\n"
                                        "field\tns\t8\t8\t8\t8\n"
                                        "field\tdt\t4000\t4000\t4000\t4000\n";

static const cli_case summary_cases[] = {
    // Sorting and regularity.
    {{"@small"}, 0, small_block, ""},
    {{"@one"}, 0, one_block, ""},
    {{"@survey"},
     0,
     SMALL_HEAD("@survey",
                "6864") "traces\t12\ntrailing_bytes\t0\ninline\t10\t12\t1\n"
                        "crossline\t100\t103\t1\nsorting\tinline\nregular\tyes\n"
                        "delay\t-8\t36\nsample_count_mismatch\t0\ninterval_mismatch\t0\n",
     ""},
    {{"@bycrossline"},
     0,
     SMALL_HEAD("@bycrossline", "6864") "traces\t12\ntrailing_bytes\t0\ninline\t10\t12\t1\n"
                                        "crossline\t100\t103\t1\nsorting\tcrossline\n"
                                        "regular\tyes\ndelay\t-8\t36\nsample_count_mismatch\t0\n"
                                        "interval_mismatch\t0\n",
     ""},
    {{"@unsorted"}, 0, SMALL_BLOCK("@unsorted", "4688", "4", "0", "unsorted", "no"), ""},
    {{"@duplicate"}, 0, SMALL_BLOCK("@duplicate", "4688", "4", "0", "unsorted", "no"), ""},
    // Each inline runs its own way: still sorted by inline.
    {{"@snake"},
     0,
     SMALL_HEAD("@snake",
                "5232") "traces\t6\ntrailing_bytes\t0\ninline\t10\t11\t1\n"
                        "crossline\t100\t102\t1\nsorting\tinline\nregular\tyes\n" SMALL_TAIL,
     ""},
    {{"@irregular"},
     0,
     SMALL_HEAD("@irregular",
                "6048") "traces\t9\ntrailing_bytes\t0\ninline\t10\t14\t2\n"
                        "crossline\t100\t110\t2\nsorting\tinline\nregular\tno\n" SMALL_TAIL,
     ""},
    // Other header words: sequence numbers, and 2-byte fields, sign-extended.
    {{"-b", "1", "--xl=5", "@small"},
     0,
     SMALL_HEAD("@small", "4688") "traces\t4\ntrailing_bytes\t0\ninline\t1\t4\t1\n"
                                  "crossline\t1\t4\t1\nsorting\tinline\nregular\tno\n" SMALL_TAIL,
     ""},
    {{"-b", "115", "-B", "117", "@small"},
     0,
     SMALL_HEAD("@small",
                "4688") "traces\t4\ntrailing_bytes\t0\ninline\t8\t8\t0\n"
                        "crossline\t4000\t4000\t0\nsorting\tunsorted\nregular\tno\n" SMALL_TAIL,
     ""},
    {{"--il", "71", "@scalco"},
     0,
     SMALL_HEAD("@scalco",
                "4688") "traces\t4\ntrailing_bytes\t0\ninline\t-100\t-100\t0\n"
                        "crossline\t100\t101\t1\nsorting\tunsorted\nregular\tno\n" SMALL_TAIL,
     ""},
    // Consistency: what follows the last whole trace, and traces that disagree.
    {{"@truncated"}, 0, SMALL_BLOCK("@truncated", "4678", "3", "262", "inline", "no"), ""},
    {{"@tail"}, 0, SMALL_BLOCK("@tail", "4788", "4", "100", "inline", "yes"), ""},
    {{"@mismatch"},
     0,
     SMALL_HEAD("@mismatch", "4688") "traces\t4\ntrailing_bytes\t0\n" SMALL_LINES
                                     "sorting\tinline\nregular\tyes\ndelay\t0\t0\n"
                                     "sample_count_mismatch\t1\ninterval_mismatch\t1\n",
     ""},
    // No whole trace: the lines up to trailing_bytes.
    {{"@headers"}, 0, SMALL_HEAD("@headers", "3600") "traces\t0\ntrailing_bytes\t0\n", ""},
    {{"-a", "@headtail"},
     0,
     SMALL_HEAD("@headtail", "3700") "traces\t0\ntrailing_bytes\t100\n",
     ""},
    // Headers.
    {{"@extended"},
     0,
     "file\t@extended\nsize\t11088\ntext_encoding\tebcdic\nextended_headers\t2\nformat\t1\tibm\n"
     "samples\t8\ninterval\t4000\ntrace_bytes\t272\ntraces\t4\ntrailing_bytes\t0\n" SMALL_LINES
     "sorting\tinline\nregular\tyes\n" SMALL_TAIL,
     ""},
    {{"@ascii"},
     0,
     "file\t@ascii\nsize\t4688\ntext_encoding\tascii\nextended_headers\t0\nformat\t1\tibm\n"
     "samples\t8\ninterval\t4000\ntrace_bytes\t272\ntraces\t4\ntrailing_bytes\t0\n" SMALL_LINES
     "sorting\tinline\nregular\tyes\n" SMALL_TAIL,
     ""},
    // Formats: the code in use after the fallback or the override.
    {{"@format7"}, 0, SMALL_BLOCK("@format7", "4688", "4", "0", "inline", "yes"), garbage},
    {{"-f", "ieee", "@format7"},
     0,
     "file\t@format7\nsize\t4688\ntext_encoding\tebcdic\nextended_headers\t0\nformat\t5\tieee\n"
     "samples\t8\ninterval\t4000\ntrace_bytes\t272\ntraces\t4\ntrailing_bytes\t0\n" SMALL_LINES
     "sorting\tinline\nregular\tyes\n" SMALL_TAIL,
     ""},
    {{"@format0"}, 0, SMALL_BLOCK("@format0", "4688", "4", "0", "inline", "yes"), ""},
    {{"@format4", "@format8"},
     0,
     "file\t@format4\nsize\t4688\ntext_encoding\tebcdic\nextended_headers\t0\n"
     "format\t4\tfixed-point 4-byte float\nsamples\t8\ninterval\t4000\ntrace_bytes\t272\n"
     "traces\t4\ntrailing_bytes\t0\n" SMALL_LINES "sorting\tinline\nregular\tyes\n" SMALL_TAIL
     "\nfile\t@format8\nsize\t4592\ntext_encoding\tebcdic\nextended_headers\t0\n"
     "format\t8\tchar\nsamples\t8\ninterval\t4000\ntrace_bytes\t248\n"
     "traces\t4\ntrailing_bytes\t0\n" SMALL_LINES "sorting\tinline\nregular\tyes\n" SMALL_TAIL,
     ""},
    {{"--format=short", "@mislabelled"},
     0,
     "file\t@mislabelled\nsize\t4624\ntext_encoding\tebcdic\nextended_headers\t0\n"
     "format\t3\tshort\nsamples\t8\ninterval\t4000\ntrace_bytes\t256\n"
     "traces\t4\ntrailing_bytes\t0\n" SMALL_LINES "sorting\tinline\nregular\tyes\n" SMALL_TAIL,
     ""},
    // Every field that is non-zero somewhere, in catalogue order.
    {{"-a", "@small"},
     0,
     small_block + small_fields +
         "field\tiline\t10\t11\t10\t11\nfield\txline\t100\t101\t100\t101\n",
     ""},
    {{"--all-fields", "@scalco", "@one"},
     0,
     replaced(small_block, "@small", "@scalco") +
         "field\ttracl\t1\t4\t1\t4\nfield\ttracr\t1\t4\t1\t4\n"
         "field\tscalco\t-100\t-100\t-100\t-100\nfield\tns\t8\t8\t8\t8\n"
         "field\tdt\t4000\t4000\t4000\t4000\nfield\tiline\t10\t11\t10\t11\n"
         "field\txline\t100\t101\t100\t101\n\n" +
         one_block +
         "field\ttracl\t1\t1\t1\t1\nfield\ttracr\t1\t1\t1\t1\nfield\tns\t8\t8\t8\t8\n"
         "field\tdt\t4000\t4000\t4000\t4000\nfield\tiline\t10\t10\t10\t10\n"
         "field\txline\t100\t100\t100\t100\n",
     ""},
    // Files that fail are reported and passed over; the first failure gives the status.
    {{"@small", "@missing", "@one"},
     2,
     small_block + "\n" + one_block,
     "quorva-scan: @missing: No such file or directory\n"},
    {{"@dir", "@badextended", "@small"},
     21,
     small_block,
     "quorva-scan: @dir: Is a directory\n"
     "quorva-scan: @badextended: negative extended header count\n"},
    {{"@empty"}, 22, "", "quorva-scan: @empty: shorter than its headers\n"},
    {{"@cutbinary"}, 22, "", "quorva-scan: @cutbinary: shorter than its headers\n"},
    {{"@cutextended"}, 22, "", "quorva-scan: @cutextended: shorter than its headers\n"},
    {{"@widesamples", "@one"}, 22, one_block, "quorva-scan: @widesamples: negative sample count\n"},
};

TEST(ScanCli, Summaries)
{
    for (const cli_case &row : summary_cases) {
        cli_case c = concrete(row);
        expect_case(scan_path(), c.args, c);
    }
}

// ---------------------------------------------------------------------------------------------
// JSON: one object per file, each on one line, with the same keys and values as the text.

static const std::string small_json =
    "{\"file\": \"@small\", \"size\": 4688, \"text_encoding\": \"ebcdic\", "
    "\"extended_headers\": 0, \"format\": {\"code\": 1, \"name\": \"ibm\"}, \"samples\": 8, "
    "\"interval\": 4000, \"trace_bytes\": 272, \"traces\": 4, \"trailing_bytes\": 0, "
    "\"inline\": {\"min\": 10, \"max\": 11, \"step\": 1}, "
    "\"crossline\": {\"min\": 100, \"max\": 101, \"step\": 1}, \"sorting\": \"inline\", "
    "\"regular\": true, \"delay\": {\"min\": 0, \"max\": 0}, \"sample_count_mismatch\": 0, "
    "\"interval_mismatch\": 0";

static const cli_case json_cases[] = {
    {{"-j", "@small"}, 0, small_json + "}\n", ""},
    {{"--json", "-a", "@small", "@missing", "@headers"},
     2,
     small_json + ", \"fields\": {\"tracl\": {\"min\": 1, \"max\": 4, \"first\": 1, \"last\": 4}, "
                  "\"tracr\": {\"min\": 1, \"max\": 4, \"first\": 1, \"last\": 4}, "
                  "\"ns\": {\"min\": 8, \"max\": 8, \"first\": 8, \"last\": 8}, "
                  "\"dt\": {\"min\": 4000, \"max\": 4000, \"first\": 4000, \"last\": 4000}, "
                  "\"iline\": {\"min\": 10, \"max\": 11, \"first\": 10, \"last\": 11}, "
                  "\"xline\": {\"min\": 100, \"max\": 101, \"first\": 100, \"last\": 101}}}\n"
                  "{\"file\": \"@headers\", \"size\": 3600, \"text_encoding\": \"ebcdic\", "
                  "\"extended_headers\": 0, \"format\": {\"code\": 1, \"name\": \"ibm\"}, "
                  "\"samples\": 8, \"interval\": 4000, \"trace_bytes\": 272, \"traces\": 0, "
                  "\"trailing_bytes\": 0}\n",
     "quorva-scan: @missing: No such file or directory\n"},
    {{"-j", "-b", "115", "-B", "117", "@small"},
     0,
     replaced(small_json,
              "\"inline\": {\"min\": 10, \"max\": 11, \"step\": 1}, "
              "\"crossline\": {\"min\": 100, \"max\": 101, \"step\": 1}, "
              "\"sorting\": \"inline\", \"regular\": true",
              "\"inline\": {\"min\": 8, \"max\": 8, \"step\": 0}, "
              "\"crossline\": {\"min\": 4000, \"max\": 4000, \"step\": 0}, "
              "\"sorting\": \"unsorted\", \"regular\": false") +
         "}\n",
     ""},
};

TEST(ScanCli, JsonLines)
{
    for (const cli_case &row : json_cases) {
        cli_case c = concrete(row);
        expect_case(scan_path(), c.args, c);
    }
}

// Reads documents of JSON Lines on standard input, each ended by a line "---", and prints each
// in the text form, checking the types, or "invalid: " and the complaint, then "---".
static const char json_to_text[] = R"(
import json, sys
numbers = {'size', 'extended_headers', 'samples', 'interval', 'trace_bytes', 'traces',
           'trailing_bytes', 'sample_count_mismatch', 'interval_mismatch'}
words = {'file', 'text_encoding', 'sorting'}
def text(line):
    o = json.loads(line)
    out = []
    for k, v in o.items():
        if k == 'fields':
            for m, f in v.items():
                assert list(f) == ['min', 'max', 'first', 'last'], f
                out.append('\t'.join(['field', m] + [str(x) for x in f.values()]))
        elif k == 'regular':
            assert isinstance(v, bool), k
            out.append(k + '\t' + ('yes' if v else 'no'))
        elif isinstance(v, dict):
            assert all(type(x) in (int, str) for x in v.values()), k
            out.append('\t'.join([k] + [str(x) for x in v.values()]))
        else:
            assert (type(v) is int) if k in numbers else (k in words and type(v) is str), k
            out.append(k + '\t' + str(v))
    return '\n'.join(out) + '\n'
blocks = []
for line in sys.stdin:
    if line == '---\n':
        sys.stdout.write('\n'.join(blocks) + '---\n')
        blocks = []
        continue
    try:
        blocks.append(text(line))
    except Exception as e:
        blocks.append('invalid: %r\n' % e)
)";

static bool
have_python()
{
    return run_program("/usr/bin/env", {"python3", "-c", "pass"}).status == 0;
}

// What python3 makes of each JSON output: its text form, or "invalid: " and the complaint.
static std::vector<std::string>
parsed_json(const std::vector<std::string> &outputs)
{
    std::string documents;
    for (const std::string &out : outputs)
        documents += out + "---\n";
    std::string path = write_file("out.json", bytes(documents.begin(), documents.end()));
    run_options input;
    input.stdin_path = path;
    run_result r = run_program("/usr/bin/env",
                               {"PYTHONIOENCODING=utf-8", "python3", "-c", json_to_text}, input);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> texts;
    for (std::size_t at = 0, end; (end = r.out.find("---\n", at)) != std::string::npos;
         at = end + 4)
        texts.push_back(r.out.substr(at, end - at));
    EXPECT_EQ(texts.size(), outputs.size());
    texts.resize(outputs.size());
    return texts;
}

#define SKIP_WITHOUT_PYTHON()                                                                      \
    if (!have_python())                                                                            \
    GTEST_SKIP() << "python3 not found; the JSON output is checked by parsing it with python3"

// Every summary again with --json: parsed and put back in text form, it is the text output.
TEST(ScanCli, JsonSaysWhatTheTextSays)
{
    SKIP_WITHOUT_PYTHON();
    std::vector<cli_case> rows;
    std::vector<std::string> outputs;
    for (const cli_case &row : summary_cases) {
        cli_case c = concrete(row);
        SCOPED_TRACE(joined(c.args));
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "-j");
        run_result r = run_program(scan_path(), args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        rows.push_back(c);
        outputs.push_back(r.out);
    }
    std::vector<std::string> texts = parsed_json(outputs);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(joined(rows[i].args));
        EXPECT_EQ(texts[i], rows[i].out) << outputs[i];
    }
}

// File names are any bytes: quotes, backslashes and control characters are escaped, and bytes
// that are no UTF-8 become U+FFFD, so that the line stays JSON.
TEST(ScanCli, JsonEscapesFileNames)
{
    SKIP_WITHOUT_PYTHON();
    const std::string name = "a\"b\\c\td\ne\x01"
                             "f\xff"
                             "g\xc3\xa9h\xe2\x82.i\xed\xa0\x80.sgy";
    std::string path = write_file(name, fixture("small"));
    run_result r = run_program(scan_path(), {"-j", path});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"file\": \"" + test_dir() +
                         "/a\\\"b\\\\c\\u0009d\\u000ae\\u0001f\\ufffdg\xc3\xa9h\\ufffd."
                         "i\\ufffd\\ufffd\\ufffd.sgy\", "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    std::string json_path = write_file("out.json", bytes(r.out.begin(), r.out.end()));
    run_options input;
    input.stdin_path = json_path;
    run_result parsed =
        run_program("/usr/bin/env",
                    {"python3", "-c",
                     "import json, sys; print(json.dumps(json.loads(sys.stdin.read())['file']))"},
                    input);
    EXPECT_EQ(parsed.status, 0) << parsed.err;
    EXPECT_EQ(
        parsed.out,
        "\"" + test_dir() +
            "/a\\\"b\\\\c\\td\\ne\\u0001f\\ufffdg\\u00e9h\\ufffd.i\\ufffd\\ufffd\\ufffd.sgy\"\n");
}

// ---------------------------------------------------------------------------------------------
// Inputs that cannot seek, and outputs that cannot be written.

static segy_file
long_traces()
{
    segy_layout layout;
    layout.samples = 6000;
    layout.traces = 40;
    layout.ilines = 4;
    return make_segy(layout);
}

TEST(ScanCli, ReadsPipesToTheirEnd)
{
    segy_file cut_long = long_traces();
    cut_long.tail = bytes(30000, 1);
    const std::vector<bytes> inputs = {fixture("survey"), fixture("truncated"), fixture("extended"),
                                       long_traces().serialize(), cut_long.serialize()};
    for (const bytes &input : inputs) {
        std::string path = write_file("in.sgy", input);
        for (const char *option : {"-a", "-j"}) {
            SCOPED_TRACE(testing::Message() << input.size() << " bytes, " << option);
            run_result direct = run_program(scan_path(), {option, path});
            ASSERT_EQ(direct.status, 0) << direct.err;
            std::string expected = replaced(direct.out, path, "/dev/stdin");
            // The status of a pipeline is that of its last command.
            run_result piped =
                run_program("/bin/sh", {"-c", "cat '" + path + "' | '" + scan_path() + "' " +
                                                  option + " /dev/stdin"});
            EXPECT_EQ(piped.status, 0);
            EXPECT_EQ(piped.err, "");
            EXPECT_EQ(piped.out, expected);
            // A regular file on standard input reads as the file itself.
            run_options from_file;
            from_file.stdin_path = path;
            run_result redirected = run_program(scan_path(), {option, "/dev/stdin"}, from_file);
            EXPECT_EQ(redirected.status, 0);
            EXPECT_EQ(redirected.out, expected);
        }
    }
}

TEST(ScanCli, AFullOutputIsAFailure)
{
    std::string path = write_file("in.sgy", fixture("small"));
    run_options full;
    full.stdout_path = "/dev/full";
    for (const char *option : {"-a", "-j"}) {
        run_result r = run_program(scan_path(), {option, path, path}, full);
        EXPECT_EQ(r.status, 28);
        EXPECT_EQ(r.err, "write error: No space left on device\n");
    }
    // A file that failed keeps its own status.
    run_result r = run_program(scan_path(), {test_dir() + "/missing", path}, full);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "quorva-scan: " + test_dir() +
                  "/missing: No such file or directory\nwrite error: No space left on device\n");
}

TEST(ScanCli, MalformedFilesNeverCrash)
{
    bool python = have_python();
    std::vector<std::string> json;
    std::mt19937 random(20261210);
    const bytes clean[] = {fixture("survey"), long_traces().serialize()};
    const std::vector<std::vector<std::string>> option_sets = {
        {}, {"-a"}, {"-j", "-a"}, {"-b", "115", "-B", "71"}, {"-f", "char", "-j"}};
    // Fields that steer the scan: interval, sample count, format, extended count; the first
    // trace's delay, count, interval, inline and crossline.
    const std::size_t hot[] = {3216,       3220,       3224,       3504,      3600 + 108,
                               3600 + 114, 3600 + 116, 3600 + 188, 3600 + 192};
    for (int round = 0; round < 60; ++round) {
        bytes data = clean[round % 2];
        for (int flips = 0; flips < 3; ++flips) {
            std::size_t at = hot[random() % std::size(hot)] + random() % 2;
            data[at] = static_cast<unsigned char>(random());
        }
        if (round % 5 == 0)
            for (std::size_t i = 3600; i < data.size(); i += 1 + random() % 97)
                data[i] = static_cast<unsigned char>(random());
        if (round % 3 == 0)
            data.resize(random() % data.size());
        std::string path = write_file("fuzz.sgy", data);
        const std::vector<std::string> &options = option_sets[random() % option_sets.size()];
        std::vector<std::string> args = options;
        args.push_back(path);
        args.push_back(path);
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << joined(options));
        run_result r = run_program(scan_path(), args);
        expect_no_crash(r);
        if (std::find(options.begin(), options.end(), "-j") != options.end())
            json.push_back(r.out);
    }
    if (!python)
        return;
    for (const std::string &text : parsed_json(json))
        EXPECT_EQ(text.rfind("invalid: ", 0), std::string::npos) << text;
}

TEST(ScanCli, RealWorldSamples)
{
    std::string dir = samples_dir();
    SKIP_WITHOUT_SAMPLES(dir);
    for (const std::string &name : sample_names()) {
        SCOPED_TRACE(name);
        std::string path = dir + "/" + name;
        run_result r = run_program(scan_path(), {"-a", path});
        expect_no_crash(r);
        run_result json = run_program(scan_path(), {"-j", "-a", path});
        expect_no_crash(json);
        EXPECT_EQ(json.status, r.status);
    }
    // Big-endian files whose traces all hold the binary header's sample count and interval.
    for (const char *name :
         {"1.sgy_first_trace", "example.y_first_trace", "ld0042_file_00018.sgy_first_trace",
          "one_trace_year_11.sgy", "su-329.sgy", "su-data.sgy", "su-junk.sgy"}) {
        SCOPED_TRACE(name);
        run_result r = run_program(scan_path(), {dir + "/" + name});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("\ntrailing_bytes\t0\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\nsample_count_mismatch\t0\n"), std::string::npos) << r.out;
    }
    // A real file cut short inside its last trace.
    run_result r = run_program(scan_path(), {dir + "/su-File010690.sgy"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("\ntrailing_bytes\t0\n"), std::string::npos) << r.out;
}
