// SPDX-License-Identifier: MIT
// quorva-showbin, run as a user runs it: standard output, standard error and status.

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "run_program.h"
#include "segy_fixture.h"

static const std::string usage =
    "Usage: quorva-showbin [OPTION]... [FILE]...\n"
    "Concatenate the binary header from FILE(s) to seismic unix output.\n"
    "\n"
    "-n,  --nonzero       only print fields with non-zero values\n"
    "-d,  --description   print with byte offset and field description\n"
    "     --version       output version information and exit\n"
    "     --help          display this help and exit\n"
    "\n\n";

static const std::string version = "quorva-showbin (quorva version 0.0)\n";

// The binary header of the `survey` fixture below, in each output mode.
static const std::string plain =
    "jobid\t7\nlino\t0\nreno\t0\nntrpr\t2\nnart\t0\nhdt\t4000\ndto\t4000\nhns\t8\nnso\t8\n"
    "format\t1\nfold\t0\ntsort\t0\nvscode\t0\nhsfs\t0\nhsfe\t0\nhslen\t0\nhstyp\t0\nschn\t0\n"
    "hstas\t0\nhstae\t0\nhtatyp\t0\nhcorr\t0\nbgrcv\t0\nrcvm\t0\nmfeet\t1\npolyt\t0\nvpol\t0\n"
    "rev\t256\ntrflag\t1\nexth\t0\n";

static const std::string described =
    "jobid\t7\t1\tJob identification number\n"
    "lino\t0\t5\tLine number\n"
    "reno\t0\t9\tReel number\n"
    "ntrpr\t2\t13\tNumber of data traces per ensemble\n"
    "nart\t0\t15\tNumber of auxiliary traces per ensemble\n"
    "hdt\t4000\t17\tSample interval in microseconds (\xCE\xBCs)\n"
    "dto\t4000\t19\tSample interval in microseconds (\xCE\xBCs) of original field recording\n"
    "hns\t8\t21\tNumber of samples per data trace\n"
    "nso\t8\t23\tNumber of samples per data trace for original field recording\n"
    "format\t1\t25\tData sample format code\n"
    "fold\t0\t27\tEnsemble fold\n"
    "tsort\t0\t29\tTrace sorting code\n"
    "vscode\t0\t31\tVertical sum code\n"
    "hsfs\t0\t33\tSweep frequency at start (Hz)\n"
    "hsfe\t0\t35\tSweep frequency at end (Hz)\n"
    "hslen\t0\t37\tSweep length (ms)\n"
    "hstyp\t0\t39\tSweep type code\n"
    "schn\t0\t41\tTrace number of sweep channel\n"
    "hstas\t0\t43\tSweep trace taper length in milliseconds at start if tapered\n"
    "hstae\t0\t45\tSweep trace taper length in milliseconds at end\n"
    "htatyp\t0\t47\tTaper type\n"
    "hcorr\t0\t49\tCorrelated data traces\n"
    "bgrcv\t0\t51\tBinary gain recovered\n"
    "rcvm\t0\t53\tAmplitude recovery method\n"
    "mfeet\t1\t55\tMeasurement system\n"
    "polyt\t0\t57\tImpulse signal polarity\n"
    "vpol\t0\t59\tVibratory polarity code\n"
    "rev\t256\t301\tSEG Y Format Revision Number\n"
    "trflag\t1\t303\tFixed length trace flag\n"
    "exth\t0\t305\tNumber of 3200-byte, Extended Textual File Headers\n";

static const std::string nonzero_described =
    "jobid\t7\t1\tJob identification number\n"
    "ntrpr\t2\t13\tNumber of data traces per ensemble\n"
    "hdt\t4000\t17\tSample interval in microseconds (\xCE\xBCs)\n"
    "dto\t4000\t19\tSample interval in microseconds (\xCE\xBCs) of original field recording\n"
    "hns\t8\t21\tNumber of samples per data trace\n"
    "nso\t8\t23\tNumber of samples per data trace for original field recording\n"
    "format\t1\t25\tData sample format code\n"
    "mfeet\t1\t55\tMeasurement system\n"
    "rev\t256\t301\tSEG Y Format Revision Number\n"
    "trflag\t1\t303\tFixed length trace flag\n";

static std::vector<std::string>
resolve(const std::vector<std::string> &args)
{
    segy_file survey = make_segy();
    survey.set_bin(3201, 4, 7);
    survey.set_bin(3255, 2, 1);
    segy_file zero;
    zero.text = bytes(3200, 0);
    std::vector<std::string> out;
    for (const std::string &arg : args) {
        if (arg == "S")
            out.push_back(write_segy("survey.sgy", survey));
        else if (arg == "Z")
            out.push_back(write_segy("zero.sgy", zero));
        else if (arg == "M")
            out.push_back(test_dir() + "/missing.sgy");
        else if (arg == "T")
            out.push_back(write_file("short.sgy", bytes(3500, 0x40)));
        else if (arg == "D")
            out.push_back(test_dir());
        else
            out.push_back(arg);
    }
    return out;
}

static const std::string unknown_h = "quorva-showbin: invalid option -- 'h'\n";

// Files: "S" is the survey, "Z" an all-zero header, "M" missing, "T" a file too short for a
// binary header, "D" a folder.
static const cli_case cases[] = {
    // No argument at all: the message, an empty line, the usage text.
    {{}, 2, usage, "Missing argument\n\n"},
    // Options only.
    {{"-n"}, 0, "", ""},
    {{"-d"}, 0, "", ""},
    // Version and help end the run before any file is opened.
    {{"--version", "M"}, 0, version, ""},
    {{"S", "--version"}, 0, version, ""},
    {{"--help", "S"}, 0, usage, ""},
    {{"--he"}, 0, usage, ""},
    {{"-h"}, 0, usage, unknown_h},
    {{"-V"}, 0, usage, "quorva-showbin: invalid option -- 'V'\n"},
    {{"-x", "--version"}, 0, usage, "quorva-showbin: invalid option -- 'x'\n"},
    {{"--nonzero=1", "S"},
     0,
     usage,
     "quorva-showbin: option '--nonzero' doesn't allow an argument\n"},
    {{"--bogus"}, 0, usage, "quorva-showbin: unrecognized option '--bogus'\n"},
    // The listings.
    {{"S"}, 0, plain, ""},
    {{"--desc", "S"}, 0, described, ""},
    {{"-dn", "S"}, 0, nonzero_described, ""},
    {{"S", "S"}, 0, plain + plain, ""},
    {{"-n", "Z", "S"},
     0,
     "jobid\t7\nntrpr\t2\nhdt\t4000\ndto\t4000\nhns\t8\nnso\t8\nformat\t1\n"
     "mfeet\t1\nrev\t256\ntrflag\t1\n",
     ""},
    // Failures stop at the first bad file.
    {{"S", "M", "S"}, 1, plain, "No such file or directory\n"},
    {{"D"}, 1, "", "No such file or directory\n"},
    {{"T", "S"}, 1, "", "Unable to read binary header\n"},
};

TEST(ShowbinCli, Cases)
{
    for (const cli_case &row : cases)
        expect_case(showbin_path(), resolve(row.args), row);
}

TEST(ShowbinCli, SampleCountsAreUnsignedOtherFieldsSigned)
{
    segy_file f = make_segy();
    f.set_bin(3213, 2, 0xFFFF);
    f.set_bin(3221, 2, 0xFFFF);
    f.set_bin(3223, 2, 0x8000);
    f.set_bin(3505, 2, 0xFFFF);
    run_result r = run_program(showbin_path(), {write_segy("wide.sgy", f)});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("ntrpr\t-1\n"), std::string::npos);
    EXPECT_NE(r.out.find("hns\t65535\n"), std::string::npos);
    EXPECT_NE(r.out.find("nso\t32768\n"), std::string::npos);
    EXPECT_NE(r.out.find("exth\t-1\n"), std::string::npos);
}

TEST(ShowbinCli, ReportLinesComeBeforeTheDiagnosticOnOneStream)
{
    std::vector<std::string> args = resolve({"S", "M"});
    run_options merged;
    merged.merge_stderr = true;
    run_result r = run_program(showbin_path(), args, merged);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, plain + "No such file or directory\n");
}

TEST(ShowbinCli, UnwritableOutputIsAFailure)
{
    std::vector<std::string> args = resolve({"S"});
    run_options full;
    full.stdout_path = "/dev/full";
    run_result r = run_program(showbin_path(), args, full);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "write error: No space left on device\n");
    r = run_program(showbin_path(), {"--version"}, full);
    EXPECT_NE(r.status, 0);
}

TEST(ShowbinCli, RealWorldSamples)
{
    std::string dir = samples_dir();
    SKIP_WITHOUT_SAMPLES(dir);
    for (const std::string &name : sample_names()) {
        SCOPED_TRACE(name);
        run_result r = run_program(showbin_path(), {"-d", dir + "/" + name});
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 30);
    }
    // Spot values: a big-endian 2-byte integer file and a little-endian one, read as stored.
    run_result r = run_program(showbin_path(), {dir + "/example.y_first_trace"});
    EXPECT_NE(r.out.find("hdt\t2000\n"), std::string::npos);
    EXPECT_NE(r.out.find("hns\t500\n"), std::string::npos);
    EXPECT_NE(r.out.find("format\t3\n"), std::string::npos);
}
