// SPDX-License-Identifier: MIT
// quorva-showtrace, run as a user runs it: standard output, standard error and status.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "run_program.h"
#include "segy_fixture.h"

static const std::string usage =
    "Usage: quorva-showtrace [OPTION]... FILE\n"
    "Print specific trace headers from FILE\n"
    "\n"
    "-t,  --trace=NUMBER          trace to print\n"
    "-r,  --range START STOP STEP range of traces to print\n"
    "-f,  --format=FORMAT         override sample format. defaults to inferring\n"
    "                             from the binary header.\n"
    "                             formats: ibm ieee short long char\n"
    "-s,  --strict                fail on unreadable tracefields\n"
    "-S,  --non-strict            don't fail on unreadable tracefields\n"
    "                             this is the default behaviour\n"
    "-n,  --nonzero               only print fields with non-zero values\n"
    "-d,  --description           print with byte offset and field description\n"
    "-k,  --quorva                print with quorva tracefield names\n"
    "-v,  --verbose               increase verbosity\n"
    "     --version               output version information and exit\n"
    "     --help                  display this help and exit\n"
    "\n"
    "the -r flag takes up to three values: start, stop, step\n"
    "where all values are defaulted to zero\n"
    "flags -r and -t can be used multiple times\n"
    "\n";

static const std::string version = "quorva-showtrace (quorva version 0.0)\n";

// Trace 1 of the survey below, in three output modes.
static const std::string plain_listing = "tracl\t1\n"
                                         "tracr\t1\n"
                                         "fldr\t0\n"
                                         "tracf\t0\n"
                                         "ep\t0\n"
                                         "cdp\t0\n"
                                         "cdpt\t0\n"
                                         "trid\t1\n"
                                         "nvs\t0\n"
                                         "nhs\t0\n"
                                         "duse\t0\n"
                                         "offset\t0\n"
                                         "gelev\t-12345\n"
                                         "selev\t0\n"
                                         "sdepth\t0\n"
                                         "gdel\t0\n"
                                         "sdel\t0\n"
                                         "swdep\t0\n"
                                         "gwdep\t0\n"
                                         "scalel\t0\n"
                                         "scalco\t-100\n"
                                         "sx\t0\n"
                                         "sy\t0\n"
                                         "gx\t0\n"
                                         "gy\t0\n"
                                         "counit\t0\n"
                                         "wevel\t0\n"
                                         "swevel\t0\n"
                                         "sut\t0\n"
                                         "gut\t0\n"
                                         "sstat\t0\n"
                                         "gstat\t0\n"
                                         "tstat\t0\n"
                                         "laga\t0\n"
                                         "lagb\t0\n"
                                         "delrt\t0\n"
                                         "muts\t-1\n"
                                         "mute\t0\n"
                                         "ns\t8\n"
                                         "dt\t4000\n"
                                         "gain\t0\n"
                                         "igc\t0\n"
                                         "igi\t0\n"
                                         "corr\t0\n"
                                         "sfs\t0\n"
                                         "sfe\t0\n"
                                         "slen\t0\n"
                                         "styp\t0\n"
                                         "stat\t0\n"
                                         "stae\t0\n"
                                         "tatyp\t0\n"
                                         "afilf\t0\n"
                                         "afils\t0\n"
                                         "nofilf\t0\n"
                                         "nofils\t0\n"
                                         "lcf\t0\n"
                                         "hcf\t0\n"
                                         "lcs\t0\n"
                                         "hcs\t0\n"
                                         "year\t0\n"
                                         "day\t0\n"
                                         "hour\t0\n"
                                         "minute\t0\n"
                                         "sec\t0\n"
                                         "timbas\t0\n"
                                         "trwf\t0\n"
                                         "grnors\t0\n"
                                         "grnofr\t0\n"
                                         "grnlof\t0\n"
                                         "gaps\t0\n"
                                         "otrav\t0\n"
                                         "cdpx\t0\n"
                                         "cdpy\t0\n"
                                         "iline\t10\n"
                                         "xline\t100\n"
                                         "sp\t0\n"
                                         "scalsp\t0\n"
                                         "trunit\t0\n"
                                         "tdcm\t0\n"
                                         "tdcp\t0\n"
                                         "tdunit\t0\n"
                                         "triden\t0\n"
                                         "sctrh\t0\n"
                                         "stype\t0\n"
                                         "sedm\t0\n"
                                         "sede\t0\n"
                                         "smm\t0\n"
                                         "sme\t0\n"
                                         "smunit\t0\n"
                                         "uint1\t-2147483648\n"
                                         "uint2\t2147483647\n";

static const std::string described_listing =
    "tracl\t1\t1\tTrace sequence number within line\n"
    "tracr\t1\t5\tTrace sequence number within SEG Y file\n"
    "fldr\t0\t9\tOriginal field record number\n"
    "tracf\t0\t13\tTrace number within the original field record\n"
    "ep\t0\t17\tEnergy source point number\n"
    "cdp\t0\t21\tEnsemble number\n"
    "cdpt\t0\t25\tTrace number within the ensemble\n"
    "trid\t1\t29\tTrace identification code\n"
    "nvs\t0\t31\tNumber of vertically summed traces yielding this trace\n"
    "nhs\t0\t33\tNumber of horizontally stacked traces yielding this trace\n"
    "duse\t0\t35\tData use\n"
    "offset\t0\t37\tDistance from center of the source point to the center of the receiver group\n"
    "gelev\t-12345\t41\tReceiver group elevation\n"
    "selev\t0\t45\tSurface elevation at source\n"
    "sdepth\t0\t49\tSource depth below surface\n"
    "gdel\t0\t53\tDatum elevation at receiver group\n"
    "sdel\t0\t57\tDatum elevation at source\n"
    "swdep\t0\t61\tWater depth at source\n"
    "gwdep\t0\t65\tWater depth at group\n"
    "scalel\t0\t69\tScalar to be applied to all elevations and depths specified in Trace Header "
    "bytes 41-68 to give the real value\n"
    "scalco\t-100\t71\tScalar to be applied to all coordinates specified in Trace Header bytes "
    "73-88 and to bytes Trace Header 181-188 to give the real value\n"
    "sx\t0\t73\tSource coordinate - X\n"
    "sy\t0\t77\tSource coordinate - Y\n"
    "gx\t0\t81\tGroup coordinate - X\n"
    "gy\t0\t85\tGroup coordinate - Y\n"
    "counit\t0\t89\tCoordinate units\n"
    "wevel\t0\t91\tWeathering velocity\n"
    "swevel\t0\t93\tSubweathering velocity\n"
    "sut\t0\t95\tUphole time at source in milliseconds\n"
    "gut\t0\t97\tUphole time at group in milliseconds\n"
    "sstat\t0\t99\tSource static correction in milliseconds\n"
    "gstat\t0\t101\tGroup static correction in milliseconds\n"
    "tstat\t0\t103\tTotal static applied in milliseconds\n"
    "laga\t0\t105\tLag time A\n"
    "lagb\t0\t107\tLag Time B\n"
    "delrt\t0\t109\tDelay recording time\n"
    "muts\t-1\t111\tMute time \xE2\x80\x94 Start time in milliseconds\n"
    "mute\t0\t113\tMute time \xE2\x80\x94 End time in milliseconds\n"
    "ns\t8\t115\tNumber of samples in this trace\n"
    "dt\t4000\t117\tSample interval in microseconds (\xCE\xBCs) for this trace\n"
    "gain\t0\t119\tGain type of field instruments\n"
    "igc\t0\t121\tInstrument gain constant (dB)\n"
    "igi\t0\t123\tInstrument early or initial gain (dB)\n"
    "corr\t0\t125\tCorrelated\n"
    "sfs\t0\t127\tSweep frequency at start (Hz)\n"
    "sfe\t0\t129\tSweep frequency at end (Hz)\n"
    "slen\t0\t131\tSweep length in milliseconds\n"
    "styp\t0\t133\tSweep type\n"
    "stat\t0\t135\tSweep trace taper length at start in milliseconds\n"
    "stae\t0\t137\tSweep trace taper length at end in milliseconds\n"
    "tatyp\t0\t139\tTaper type\n"
    "afilf\t0\t141\tAlias filter frequency (Hz), if used\n"
    "afils\t0\t143\tAlias filter slope (dB/octave)\n"
    "nofilf\t0\t145\tNotch filter frequency (Hz), if used\n"
    "nofils\t0\t147\tNotch filter slope (dB/octave)\n"
    "lcf\t0\t149\tLow-cut frequency (Hz), if used\n"
    "hcf\t0\t151\tHigh-cut frequency (Hz), if used\n"
    "lcs\t0\t153\tLow-cut slope (dB/octave)\n"
    "hcs\t0\t155\tHigh-cut slope (dB/octave)\n"
    "year\t0\t157\tYear data recorded\n"
    "day\t0\t159\tDay of year\n"
    "hour\t0\t161\tHour of day (24 hour clock)\n"
    "minute\t0\t163\tMinute of hour\n"
    "sec\t0\t165\tSecond of minute\n"
    "timbas\t0\t167\tTime basis code\n"
    "trwf\t0\t169\tTrace weighting factor\n"
    "grnors\t0\t171\tGeophone group number of roll switch position one\n"
    "grnofr\t0\t173\tGeophone group number of trace number one within original field record\n"
    "grnlof\t0\t175\tGeophone group number of last trace within original field record\n"
    "gaps\t0\t177\tGap size (total number of groups dropped)\n"
    "otrav\t0\t179\tOver travel associated with taper at beginning or end of line\n"
    "cdpx\t0\t181\tX coordinate of ensemble (CDP) position of this trace\n"
    "cdpy\t0\t185\tY coordinate of ensemble (CDP) position of this trace\n"
    "iline\t10\t189\tInline number\n"
    "xline\t100\t193\tCrossline number\n"
    "sp\t0\t197\tShotpoint number\n"
    "scalsp\t0\t201\tScalar to be applied to the shotpoint number in Trace Header bytes 197-200 to "
    "give the real value\n"
    "trunit\t0\t203\tTrace value measurement unit\n"
    "tdcm\t0\t205\tTransduction Constant (mantissa)\n"
    "tdcp\t0\t209\tTransduction Constant (power of ten exponent)\n"
    "tdunit\t0\t211\tTransduction Units\n"
    "triden\t0\t213\tDevice/Trace Identifier\n"
    "sctrh\t0\t215\tScalar to be applied to times specified in Trace Header bytes 95-114 to give "
    "the true time value in milliseconds\n"
    "stype\t0\t217\tSource Type/Orientation\n"
    "sedm\t0\t219\tSource Energy Direction with respect to the source orientation (vertical and "
    "crossline)\n"
    "sede\t0\t223\tSource Energy Direction with respect to the source orientation (inline)\n"
    "smm\t0\t225\tSource Measurement (mantissa)\n"
    "sme\t0\t229\tSource Measurement (power of ten exponent)\n"
    "smunit\t0\t231\tSource Measurement Unit\n"
    "uint1\t-2147483648\t233\tUnassigned 1\n"
    "uint2\t2147483647\t237\tUnassigned 2\n";

static const std::string library_nonzero_described =
    "SEQ_LINE\t1\t1\tTrace sequence number within line\n"
    "SEQ_FILE\t1\t5\tTrace sequence number within SEG Y file\n"
    "TRACE_ID\t1\t29\tTrace identification code\n"
    "RECV_GROUP_ELEV\t-12345\t41\tReceiver group elevation\n"
    "SOURCE_GROUP_SCALAR\t-100\t71\tScalar to be applied to all coordinates specified in Trace "
    "Header bytes 73-88 and to bytes Trace Header 181-188 to give the real value\n"
    "MUTE_TIME_START\t-1\t111\tMute time \xE2\x80\x94 Start time in milliseconds\n"
    "SAMPLE_COUNT\t8\t115\tNumber of samples in this trace\n"
    "SAMPLE_INTER\t4000\t117\tSample interval in microseconds (\xCE\xBCs) for this trace\n"
    "INLINE\t10\t189\tInline number\n"
    "CROSSLINE\t100\t193\tCrossline number\n"
    "UNASSIGNED1\t-2147483648\t233\tUnassigned 1\n"
    "UNASSIGNED2\t2147483647\t237\tUnassigned 2\n";

// A survey of 10 traces whose first field (tracl) holds the trace number; trace 1 also holds
// negative and extreme values in fields of both widths.
static segy_file
survey()
{
    segy_layout layout;
    layout.traces = 10;
    segy_file f = make_segy(layout);
    segy_trace &first = f.traces[0];
    first.set(29, 2, 1);
    first.set(41, 4, -12345);
    first.set(71, 2, -100);
    first.set(111, 2, 0xFFFF);
    first.set(233, 4, int64_t{INT32_MIN});
    first.set(237, 4, int64_t{INT32_MAX});
    return f;
}

// The file named by a token of a case: "S" the survey, "E" a file of no traces, "Z" traces
// with all-zero headers, "H" the survey with 2-byte samples while its header says 4-byte
// ones, "M" a missing file, "D" a folder, "T" a file too short for a binary header; "F<n>"
// the survey with the format code n in its binary header, "N<n>" with the sample count n,
// "X<n>" with n extended textual headers declared. Any other word is passed on as it is.
static std::string
fixture(const std::string &token)
{
    if (token == "S")
        return write_segy("survey.sgy", survey());
    if (token == "E") {
        segy_layout layout;
        layout.traces = 0;
        return write_segy("empty.sgy", make_segy(layout));
    }
    if (token == "Z") {
        segy_file f = survey();
        for (segy_trace &t : f.traces)
            t = segy_trace{{}, t.samples};
        return write_segy("zero.sgy", f);
    }
    if (token == "H") {
        segy_layout layout;
        layout.traces = 10;
        layout.format = 3;
        segy_file f = make_segy(layout);
        f.set_bin(3225, 2, 1);
        return write_segy("short-samples.sgy", f);
    }
    if (token == "M")
        return test_dir() + "/missing.sgy";
    if (token == "D")
        return test_dir();
    if (token == "T")
        return write_file("short.sgy", bytes(3500, 0x40));
    const std::string fields = "FNX";
    const int positions[] = {3225, 3221, 3505};
    std::size_t which = fields.find(token[0]);
    if (token.size() > 1 && which != std::string::npos) {
        segy_file f = survey();
        f.set_bin(positions[which], 2, std::stoi(token.substr(1)));
        return write_segy(token + ".sgy", f);
    }
    return token;
}

static std::vector<std::string>
resolve(const std::vector<std::string> &args)
{
    std::vector<std::string> out;
    for (const std::string &arg : args)
        out.push_back(fixture(arg));
    return out;
}

// The trace numbers a listing shows, from the first field of each block, e.g. "1 4 7".
static std::string
traces_listed(const std::string &out)
{
    std::string numbers;
    std::size_t at = 0;
    while (at < out.size()) {
        std::size_t end = out.find('\n', at);
        std::string line = out.substr(at, end - at);
        for (const char *first : {"tracl\t", "SEQ_LINE\t"}) {
            std::string prefix = first;
            if (line.compare(0, prefix.size(), prefix) == 0) {
                std::string value = line.substr(prefix.size());
                numbers += (numbers.empty() ? "" : " ") + value.substr(0, value.find('\t'));
            }
        }
        at = end == std::string::npos ? out.size() : end + 1;
    }
    return numbers;
}

static std::size_t
line_count(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

static const std::string wrong_count = "Wrong number of files\n\n";
static const std::string past_end = "Unable to read traceheader: out of range\n";
static const std::string garbage_format =
    "sample format field is garbage. falling back to 4-byte float. override with --format\n";
// Nothing has failed by the time a strict walk runs past the last trace, so errno is 0 there
// and the program falls back on ERANGE.
static constexpr int past_end_status = ERANGE;

// Arguments are tokens as for fixture().
static const cli_case exact_cases[] = {
    // Help and version end the run at once, before the operands are looked at.
    {{"--help", "-t", "0"}, 0, usage, ""},
    {{"--he"}, 0, usage, ""},
    {{"--version", "-t", "0", "M"}, 0, version, ""},
    {{"-t", "0", "--version"}, 253, "", "out of range\n"},
    {{"-h", "S"}, 0, usage, "quorva-showtrace: invalid option -- 'h'\n"},
    {{"-V"}, 0, usage, "quorva-showtrace: invalid option -- 'V'\n"},
    {{"--bogus", "S"}, 0, usage, "quorva-showtrace: unrecognized option '--bogus'\n"},
    {{"S", "-t"}, 0, usage, "quorva-showtrace: option requires an argument -- 't'\n"},
    {{"S", "--range"}, 0, usage, "quorva-showtrace: option '--range' requires an argument\n"},
    {{"--strict=1", "S"},
     0,
     usage,
     "quorva-showtrace: option '--strict' doesn't allow an argument\n"},
    // One listing per output mode.
    {{"S"}, 0, plain_listing, ""},
    {{"--description", "-t", "1", "S"}, 0, described_listing, ""},
    {{"-k", "-d", "-n", "S"}, 0, library_nonzero_described, ""},
    {{"-n", "-r", "1", "10", "Z"}, 0, "", ""},
    // -t
    {{"-t", "0", "S"}, 253, "", "out of range\n"},
    {{"-t", "", "S"}, 253, "", "out of range\n"},
    {{"-t", "5x", "S"}, 22, "", "num must be an integer\n"},
    {{"-t", "x", "S"}, 22, "", "num must be an integer\n"},
    {{"-t", "-5", "S"}, 22, "", "num must be non-negative\n"},
    {{"-t", "2147483648", "S"}, 22, "", "num must be at most 2147483647\n"},
    {{"-t", "4294967297", "S"}, 22, "", "num must be at most 2147483647\n"},
    {{"-t", "-4294967295", "S"}, 22, "", "num must be non-negative\n"},
    // -r, its own argument.
    {{"-r", "abc", "S"}, 253, "", "out of range\n"},
    {{"-r", "+", "S"}, 253, "", "out of range\n"},
    {{"-r", "0", "5", "S"}, 253, "", "out of range\n"},
    {{"-r", "0 5", "S"}, 253, "", "out of range\n"},
    {{"-r", "", "S"}, 22, "", "input error while parsing range parameters\n"},
    {{"-r", " \t", "S"}, 22, "", "input error while parsing range parameters\n"},
    {{"-r", "-1", "S"}, 22, "", "range parameters must be positive\n"},
    {{"-r", "5 -1", "S"}, 22, "", "range parameters must be positive\n"},
    {{"-r", "0 -1", "S"}, 22, "", "range parameters must be positive\n"},
    {{"-r", "-99999999999", "S"}, 22, "", "range parameters must be positive\n"},
    {{"-r", "2147483648", "S"}, 22, "", "range parameters must be at most 2147483647\n"},
    {{"-r", "1 5 99999999999999999999", "S"},
     22,
     "",
     "range parameters must be at most 2147483647\n"},
    // -r, the words after it.
    {{"-r", "5", "-1", "S"}, 22, "", "num must be non-negative\n"},
    {{"-r", "5", "4294967297", "S"}, 22, "", "num must be at most 2147483647\n"},
    {{"-r", "5", "6", "-4294967295", "S"}, 22, "", "num must be non-negative\n"},
    {{"-r", "5", "10", "2", "7", "S"}, 22, "", wrong_count},
    {{"-r", "5", "100"}, 22, "", wrong_count},
    // -f
    {{"-f", "bogus", "S"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    {{"-f", "IBM", "S"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    {{"-f", "bogus", "-f", "ibm", "S"},
     22,
     "",
     "invalid format argument. valid formats: ibm ieee short long char\n"},
    // Operands.
    {{"-t", "1"}, 22, "", wrong_count},
    {{"S", "S"}, 22, "", wrong_count},
    // Strict checks of the selections come before the file is opened.
    {{"-s", "-r", "10", "5", "M"}, 253, "", "Range is empty\n"},
    {{"-s", "-r", "5", "0", "2", "S"}, 253, "", "Range is empty\n"},
    {{"-t", "2", "-r", "10", "5", "-s", "S"}, 253, "", "Range is empty\n"},
    // Failures on the way to the traces.
    {{"M"}, 2, "", "Unable to open src: No such file or directory\n"},
    {{"D"}, 21, "", "Unable to open src: Is a directory\n"},
    {{"T"}, 22, "", "Unable to read binheader\n"},
    {{"X1000"}, 22, "", "Unable to determine number of traces in file\n"},
    {{"X-1"}, 22, "", "Unable to determine number of traces in file\n"},
    {{"N-10"}, 22, "", "Unable to determine number of traces in file\n"},
    {{"N-1", "-f", "char"}, 22, "", "Unable to determine number of traces in file\n"},
    {{"-s", "E"}, past_end_status, "", past_end},
    {{"E"}, 0, "", ""},
};

TEST(ShowtraceCli, ExactOutput)
{
    for (const cli_case &row : exact_cases)
        expect_case(showtrace_path(), resolve(row.args), row);
}

struct selection_case {
    std::vector<std::string> args; // tokens as for fixture()
    int status;
    std::string traces; // the trace numbers listed, in order
    std::string err;
};

static const selection_case selection_cases[] = {
    // No selection means trace 1; selections keep their order, repeats included.
    {{"S"}, 0, "1", ""},
    {{"-r", "1", "10", "3", "S"}, 0, "1 4 7 10", ""},
    {{"-t", "3", "-r", "1", "2", "-t", "3", "-t", "10", "S"}, 0, "3 1 2 3 10", ""},
    {{"-r", "1", "3", "-r", "2", "4", "S"}, 0, "1 2 3 2 3 4", ""},
    {{"-v", "--trace=4", "S"}, 0, "4", ""},
    // -r takes its values from its own argument first, then from the words after it.
    {{"-r", "1 5 2", "S"}, 0, "1 3 5", ""},
    {{"-r", "1 5", "2", "S"}, 0, "1 3 5", ""},
    {{"--range=1", "5", "2", "S"}, 0, "1 3 5", ""},
    {{"-r1", "5", "S"}, 0, "1 2 3 4 5", ""},
    {{"-r", "1 5 2 junk", "S"}, 0, "1 3 5", ""},
    {{"-r", "7x", "S"}, 0, "7", ""},
    {{"-r", "5x 9", "S"}, 0, "5", ""},
    {{"-r", " +2 -0 3", "S"}, 0, "2", ""},
    {{"-r", "2", "0", "3", "S"}, 0, "2", ""},
    {{"-r", "3", "", "S"}, 0, "3", ""},
    // It stops at the file name and at an option word, and leaves them for what follows.
    {{"-r", "2", "S"}, 0, "2", ""},
    {{"-r", "2", "-t", "7", "S"}, 0, "2 7", ""},
    {{"-r", "2", "4", "--", "S"}, 0, "2 3 4", ""},
    // The file may come first or in between: the words -r takes never become operands.
    {{"S", "-r", "1", "5", "2"}, 0, "1 3 5", ""},
    {{"S", "-r", "1", "5", "2", "-t", "9"}, 0, "1 3 5 9", ""},
    {{"-t", "9", "S", "-r", "2", "4"}, 0, "9 2 3 4", ""},
    {{"S", "-r", "2", "-r", "6", "8", "-t", "1"}, 0, "2 6 7 8 1", ""},
    // Past the last trace: without -s the selection just ends.
    {{"-r", "8", "20", "S"}, 0, "8 9 10", ""},
    {{"-t", "11", "-t", "2", "S"}, 0, "2", ""},
    {{"-r", "10", "5", "S"}, 0, "", ""},
    {{"-r", "2147483647", "S"}, 0, "", ""},
    // A step beyond the largest trace number ends its selection.
    {{"-s", "-r", "9", "2147483647", "2147483647", "S"}, 0, "9", ""},
    {{"-r", "10", "2147483647", "2147483646", "-t", "1", "S"}, 0, "10 1", ""},
    // Strictness: the last of -s and -S wins.
    {{"-s", "-r", "8", "10", "S"}, 0, "8 9 10", ""},
    {{"-s", "-r", "5", "S"}, 0, "5", ""},
    {{"-s", "-r", "8", "20", "S"}, past_end_status, "8 9 10", past_end},
    {{"-S", "-s", "-t", "1", "-t", "11", "-t", "2", "S"}, past_end_status, "1", past_end},
    {{"-s", "-S", "-r", "8", "20", "S"}, 0, "8 9 10", ""},
    {{"--strict", "--non-strict", "-t", "11", "S"}, 0, "", ""},
    // The sample format: from the header, resolved, or given with -f.
    {{"-t", "10", "F0"}, 0, "10", ""},
    {{"-t", "10", "F4"}, 0, "10", ""},
    {{"-t", "10", "F7"}, 0, "10", garbage_format},
    {{"-t", "10", "F-1"}, 0, "10", garbage_format},
    {{"-t", "10", "F9"}, 0, "10", garbage_format},
    {{"-f", "ieee", "-t", "10", "F7"}, 0, "10", ""},
    {{"-f", "ibm", "-f", "bogus", "-t", "10", "F7"}, 0, "10", ""},
    {{"-t", "10", "H"}, 0, "", ""},
    {{"-f", "short", "-t", "10", "H"}, 0, "10", ""},
    {{"-s", "-t", "11", "F7"}, past_end_status, "", garbage_format + past_end},
    // -k names the fields differently but selects the same traces.
    {{"-k", "-r", "2", "3", "S"}, 0, "2 3", ""},
};

TEST(ShowtraceCli, Selections)
{
    for (const selection_case &row : selection_cases) {
        SCOPED_TRACE(joined(row.args));
        run_result r = run_program(showtrace_path(), resolve(row.args));
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(traces_listed(r.out), row.traces);
        std::size_t traces = row.traces.empty()
                                 ? 0
                                 : 1 + static_cast<std::size_t>(
                                           std::count(row.traces.begin(), row.traces.end(), ' '));
        EXPECT_EQ(line_count(r.out), 91 * traces) << "every trace is listed in full";
        EXPECT_EQ(r.err, row.err);
    }
}

// Survey names that begin with digits are operands, not values of -r: the program runs in the
// folder of the files so that they can be named as they are.
TEST(ShowtraceCli, RangeLeavesFileNamesThatBeginWithDigits)
{
    for (const char *name : {"1.sgy", "7x.sgy", "3x.sgy", "2019_line.sgy"})
        write_segy(name, survey());
    const selection_case cases[] = {
        {{"-r", "5", "1.sgy"}, 0, "5", ""},
        {{"-r", "2", "7x.sgy"}, 0, "2", ""},
        {{"-s", "-r", "5", "1.sgy"}, 0, "5", ""},
        {{"-r", "3", "2019_line.sgy"}, 0, "3", ""},
        {{"-r", "2", "9", "3x.sgy"}, 0, "2 3 4 5 6 7 8 9", ""},
        {{"-s", "-r", "2", "6", "7x.sgy"}, 0, "2 3 4 5 6", ""},
        {{"-r", "1 9", "2019_line.sgy"}, 0, "1 2 3 4 5 6 7 8 9", ""},
        {{"-r", "4", "1.sgy", "-t", "2"}, 0, "4 2", ""},
    };
    run_options in_folder;
    in_folder.cwd = test_dir();
    for (const selection_case &row : cases) {
        SCOPED_TRACE(joined(row.args));
        run_result r = run_program(showtrace_path(), row.args, in_folder);
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(traces_listed(r.out), row.traces);
        EXPECT_EQ(r.err, row.err);
    }
}

TEST(ShowtraceCli, ManySelectionsKeepTheirOrder)
{
    std::string file = fixture("S");
    std::vector<std::string> args;
    std::string expected;
    for (int i = 0; i < 130; ++i) {
        std::string number = std::to_string(i * 7 % 10 + 1);
        if (i % 2 == 0)
            args.insert(args.end(), {"-t", number});
        else
            args.insert(args.end(), {"-r", number, number});
        expected += (i == 0 ? "" : " ") + number;
    }
    args.push_back(file);
    run_result r = run_program(showtrace_path(), args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(traces_listed(r.out), expected);
}

TEST(ShowtraceCli, ListingComesBeforeTheDiagnosticOnOneStream)
{
    run_options merged;
    merged.merge_stderr = true;
    run_result r =
        run_program(showtrace_path(), resolve({"-s", "-t", "1", "-t", "11", "S"}), merged);
    EXPECT_EQ(r.status, past_end_status);
    EXPECT_EQ(r.out, plain_listing + past_end);
}

TEST(ShowtraceCli, UnwritableOutputIsAFailure)
{
    run_options full;
    full.stdout_path = "/dev/full";
    for (auto args : std::vector<std::vector<std::string>>{{"S"}, {"--help"}, {"--version"}}) {
        SCOPED_TRACE(joined(args));
        run_result r = run_program(showtrace_path(), resolve(args), full);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.err, "write error: No space left on device\n");
    }
}

TEST(ShowtraceCli, RealWorldSamples)
{
    std::string dir = samples_dir();
    SKIP_WITHOUT_SAMPLES(dir);
    struct sample {
        const char *name;
        int traces; // -1: the trace count cannot be worked out
        std::string err;
    };
    // The two little-endian files read as garbage: one's sample count comes out negative, the
    // other's small enough that its single trace is counted as nine.
    const sample samples[] = {
        {"00001034.sgy_first_trace", -1,
         garbage_format + "Unable to determine number of traces in file\n"},
        {"1.sgy_first_trace", 1, ""},
        {"example.y_first_trace", 1, ""},
        {"ld0042_file_00018.sgy_first_trace", 1, ""},
        {"one_trace_year_11.sgy", 1, ""},
        {"one_trace_year_99.sgy", 1, ""},
        {"planes.segy_first_trace", 9, garbage_format},
        {"su-329.sgy", 3, ""},
        {"su-File010690.sgy", 63, ""},
        {"su-data.sgy", 10, ""},
        {"su-junk.sgy", 32, ""},
    };
    for (const sample &s : samples) {
        SCOPED_TRACE(s.name);
        std::string path = dir + "/" + s.name;
        run_result loose = run_program(showtrace_path(), {"-r", "1", "1000", path});
        run_result strict = run_program(showtrace_path(), {"-s", "-r", "1", "1000", path});
        EXPECT_EQ(loose.signal, 0);
        EXPECT_EQ(strict.signal, 0);
        EXPECT_EQ(loose.err, s.err);
        if (s.traces < 0) {
            EXPECT_EQ(loose.status, EINVAL);
            EXPECT_EQ(loose.out, "");
            EXPECT_EQ(strict.status, EINVAL);
            EXPECT_EQ(strict.err, s.err);
            continue;
        }
        EXPECT_EQ(loose.status, 0);
        EXPECT_EQ(line_count(loose.out), 91 * static_cast<std::size_t>(s.traces));
        EXPECT_EQ(strict.status, past_end_status);
        EXPECT_EQ(strict.out, loose.out);
        EXPECT_EQ(strict.err, s.err + past_end);
    }
    // A big-endian file with 2-byte samples, spot values of fields of both widths.
    run_result r = run_program(showtrace_path(), {"-n", dir + "/example.y_first_trace"});
    for (const char *line : {"cdp\t5\n", "scalco\t-10\n", "sx\t543210\n", "xline\t139\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
}

// Malformed files end in a listing or one of the program's own messages, never in a signal.
TEST(ShowtraceCli, MalformedFilesNeverCrash)
{
    segy_file good = survey();
    bytes whole = good.serialize();
    std::vector<bytes> files;
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{3200}, std::size_t{3599}, std::size_t{3600},
          std::size_t{3601}, std::size_t{3839}, std::size_t{3840}, whole.size() - 1})
        files.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    for (int samples : {-32768, -1, 0, 1, 32767})
        for (int format : {-32768, -1, 0, 6, 32767}) {
            segy_file f = good;
            f.set_bin(3221, 2, samples);
            f.set_bin(3225, 2, format);
            files.push_back(f.serialize());
        }
    for (int extended : {-32768, -1, 1, 32767}) {
        segy_file f = good;
        f.set_bin(3505, 2, extended);
        files.push_back(f.serialize());
    }
    const std::vector<std::string> known = {
        "sample format field is garbage. falling back to 4-byte float. override with --format",
        "Unable to read binheader", "Unable to determine number of traces in file",
        "Unable to read traceheader: out of range", "Unable to read trace header"};
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string path = write_file("malformed-" + std::to_string(i) + ".sgy", files[i]);
        for (auto args :
             std::vector<std::vector<std::string>>{{"-s", "-r", "1", "2147483647", "1000", path},
                                                   {"-r", "1", "100", "-t", "2147483647", path}}) {
            SCOPED_TRACE(joined(args));
            run_result r = run_program(showtrace_path(), args);
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(line_count(r.out) % 91, 0u);
            std::size_t at = 0;
            while (at < r.err.size()) {
                std::size_t end = r.err.find('\n', at);
                ASSERT_NE(end, std::string::npos);
                std::string line = r.err.substr(at, end - at);
                EXPECT_NE(std::find(known.begin(), known.end(), line), known.end()) << line;
                at = end + 1;
            }
        }
    }
}
