// SPDX-License-Identifier: MIT
// Runs a program's main in the fuzzer's process, again and again, and checks what must hold
// after every run.
//
// A program target compiles the program's own source with main renamed to
// quorva_fuzz_program_main and links with --wrap for exit, the allocation calls, fopen, fclose,
// quorva_open, quorva_close and the reader's new and free calls (fuzz/CMakeLists.txt). The wrappers
// below turn the program's exit into a return to run_program_in_process and keep a ledger of what
// the run allocated and opened: a run that fails ends at once by design and leaves all that behind,
// which is released here; a run that succeeds must have released everything itself.
#ifndef QUORVA_FUZZ_RUN_H
#define QUORVA_FUZZ_RUN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The program's main, renamed.
int quorva_fuzz_program_main(int argc, char **argv);

struct program_run {
    int status;      // as the shell sees it, 0-255
    bool exited;     // ended through exit rather than by returning from main
    std::string out; // standard output
    std::string err; // standard error
};

// Paths in the process's own scratch folder: the input file, and a name for an output file.
const std::string &input_path();
const std::string &output_path();
// A path in the scratch folder that names no file.
const std::string &missing_path();

// The bytes of a file; empty when it cannot be read.
std::string read_whole_file(const std::string &path);

// Appends the operands of a program that reads files, by shape: mostly the input file alone, at
// times the input twice, a missing file between two inputs, or no file at all.
void append_file_operands(uint8_t shape, std::vector<std::string> *args);

// Writes the input file, runs the program with args (argv[0] is name), and checks that the file
// is unchanged afterwards and that a successful run left nothing allocated or open.
program_run run_program_in_process(const char *name, const std::vector<std::string> &args,
                                   const uint8_t *file, std::size_t file_size);

// What holds for every run of every program: a failure says why on standard error, in whole
// lines; a success writes to standard error only the lines the program documents for status 0
// (allowed), and getopt_long's complaints only when getopt_complaints is set, and then followed
// by the usage text.
void check_diagnostics(const char *name, const program_run &run,
                       const std::vector<std::string> &allowed, bool getopt_complaints);

// Reports a broken invariant with the run's command line and output, then aborts, so that the
// fuzzer keeps the input.
[[noreturn]] void fail_check(const char *what, const program_run &run);

#endif
