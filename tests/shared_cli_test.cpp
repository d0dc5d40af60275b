// SPDX-License-Identifier: MIT
// What the programs share, run as a user runs it: closed standard descriptors, the check that
// standard output was written in full, and the header printers reading pipes.

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "run_program.h"
#include "segy_fixture.h"

// A run of each program with a few kilobytes of output: more than one 4096-byte buffer, less
// than two.
struct program_run {
    const std::string &(*path)();
    std::vector<std::string> options; // the input file follows
    int files;                        // how many times it is named
};

// clang-format off
static const program_run runs[] = {
    {showbin_path,   {"-d"},           5},
    {showtext_path,  {"-a"},           1},
    {showtrace_path, {"-r", "1", "8"}, 1},
    {trim_path,      {"-vvv"},         1},
    {scan_path,      {"-a"},           12},
};
// clang-format on

static std::vector<std::string>
arguments(const program_run &run, const std::string &input)
{
    std::vector<std::string> args = run.options;
    for (int i = 0; i < run.files; ++i)
        args.push_back(input);
    if (run.path == trim_path)
        args.push_back(test_dir() + "/out.sgy");
    return args;
}

static std::string
input_file()
{
    segy_layout layout;
    layout.traces = 300;
    layout.extended = 1;
    return write_segy("in.sgy", make_segy(layout));
}

TEST(SharedCli, AClosedStandardOutputIsAWriteError)
{
    std::string input = input_file();
    for (const program_run &run : runs) {
        for (const char *redirections : {">&-", "<&- >&-"}) {
            SCOPED_TRACE(run.path() + " " + redirections);
            run_result r = run_redirected(run.path(), arguments(run, input), redirections);
            EXPECT_EQ(r.status, 9);
            EXPECT_EQ(r.err, "write error: Bad file descriptor\n");
        }
    }
}

TEST(SharedCli, AFailedWriteKeepsItsCause)
{
    std::string input = input_file();
    // Standard output to a file is buffered in blocks of the file's own block size.
    run_options to_file;
    to_file.stdout_path = write_file("out.txt", {});
    struct stat file_stat;
    ASSERT_EQ(stat(to_file.stdout_path.c_str(), &file_stat), 0);
    if (file_stat.st_blksize != 4096)
        GTEST_SKIP() << "the runs fill 4096-byte buffers; this folder's block size is "
                     << file_stat.st_blksize;
    for (const program_run &run : runs) {
        SCOPED_TRACE(run.path());
        std::vector<std::string> args = {"4096", "28", run.path()};
        for (const std::string &arg : arguments(run, input))
            args.push_back(arg);
        run_result r = run_program(QUORVA_FAIL_WRITE, args, to_file);
        if (r.status == 77 && r.err.starts_with("fail_write: seccomp"))
            GTEST_SKIP() << "this system refuses seccomp filters: " << r.err;
        EXPECT_EQ(r.status, 28);
        EXPECT_EQ(r.err, "write error: No space left on device\n");
        EXPECT_GT(read_file(to_file.stdout_path).size(), 0u)
            << "the writes after the failed one went through";
    }
}

// The shell feeds the file to the program through a pipe, which the program reads as
// /dev/stdin; the status is the program's.
static run_result
run_through_pipe(const std::string &program, const std::vector<std::string> &options,
                 const std::string &file)
{
    std::vector<std::string> args = {"-c", "f=$1; shift; cat \"$f\" | \"$0\" \"$@\"", program,
                                     file};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("/dev/stdin");
    return run_program("/bin/sh", args);
}

TEST(SharedCli, HeaderPrintersReadFromAPipeAsFromTheFile)
{
    // Larger than a pipe holds, so that the writer is still at work when the headers are read.
    segy_layout layout;
    layout.traces = 100;
    layout.samples = 250;
    layout.extended = 2;
    std::string file = write_segy("in.sgy", make_segy(layout));
    const struct {
        const std::string &(*path)();
        std::vector<std::string> options;
    } printer_runs[] = {
        {showtext_path, {}},
        {showtext_path, {"-n", "1"}},
        {showtext_path, {"--num", "2"}},
        {showtext_path, {"-a"}},
        {showtext_path, {"-s", "-a"}},
        {showtext_path, {"-n", "3"}},
        {showtext_path, {"-s", "-n", "3"}},
        {showbin_path, {}},
        {showbin_path, {"-d"}},
        {showbin_path, {"-n", "-d"}},
    };
    for (const auto &run : printer_runs) {
        SCOPED_TRACE(run.path() + " " + joined(run.options));
        std::vector<std::string> args = run.options;
        args.push_back(file);
        run_result expected = run_program(run.path(), args);
        run_result piped = run_through_pipe(run.path(), run.options, file);
        EXPECT_EQ(piped.status, expected.status);
        EXPECT_EQ(piped.out, expected.out);
        EXPECT_EQ(piped.err, expected.err);
    }
    // quorva-showtrace needs the file's size to count its traces, which a pipe does not have.
    run_result piped = run_through_pipe(showtrace_path(), {"-t", "2"}, file);
    EXPECT_EQ(piped.status, 29);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err, "Unable to determine number of traces in file\n");
}
