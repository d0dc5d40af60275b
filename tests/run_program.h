// SPDX-License-Identifier: MIT
// Runs a built program with its output captured, for the command-line tests.
#ifndef QUORVA_RUN_PROGRAM_H
#define QUORVA_RUN_PROGRAM_H

#include <string>
#include <vector>

struct run_options {
    std::string stdin_path = "/dev/null";
    // When set, standard output goes to this file instead of being captured (e.g. /dev/full).
    std::string stdout_path;
    // Standard error goes to the same file as standard output; `out` then holds both, in the
    // order they were written.
    bool merge_stderr = false;
    // When set, the program runs in this folder, so that operands can be relative names.
    std::string cwd;
};

// How long a program may run before it counts as hung and is killed with SIGKILL.
constexpr int run_deadline_seconds = 30;

struct run_result {
    int status = -1; // exit status, 0-255
    int signal = 0;  // the signal that ended the program (SIGKILL for a hang), or 0
    std::string out; // standard output
    std::string err; // standard error
};

// One row of a command-line case table: the arguments, then what the run must give back.
struct cli_case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
};

// The arguments on one line, each in single quotes and followed by a blank.
std::string joined(const std::vector<std::string> &args);

// Runs program with args, the row's arguments made concrete, and checks that it ends by itself
// with the row's status, standard output and standard error, byte for byte.
void expect_case(const std::string &program, const std::vector<std::string> &args,
                 const cli_case &row);

// Checks that a run ended by itself, without a signal (a hang ends by SIGKILL) or a sanitizer
// report, whatever its status.
void expect_no_crash(const run_result &r);

// Runs program with args and waits for it, at most run_deadline_seconds; argv[0] is the
// program's file name.
run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const run_options &options = {});

// Runs program with args through /bin/sh, with shell redirections applied to it (such as
// "<&- 2>&-" to start it with standard input and error closed); the status is the program's.
run_result run_redirected(const std::string &program, const std::vector<std::string> &args,
                          const std::string &redirections);

// Paths of the built programs.
const std::string &showbin_path();
const std::string &showtext_path();
const std::string &showtrace_path();
const std::string &trim_path();
const std::string &scan_path();

#endif
