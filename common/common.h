// SPDX-License-Identifier: MIT
// Diagnostics, number parsing and the version line shared by every quorva program.
#ifndef QUORVA_COMMON_H
#define QUORVA_COMMON_H

#include <cstdint>

// Flushes standard output, writes message and a newline to standard error, flushes it.
void print_error(const char *message);

// Prints message (when not null) through print_error; returns code.
int report_failure(int code, const char *message);

// Writes "prefix: " (when prefix is not null) and then detail through print_error (when
// detail is not null); returns code.
int print_error_detail(int code, const char *prefix, const char *detail);

// Parses a base-10 number into *out (its low 32 bits, stored in every case).
// Returns 0 for a whole non-negative number, 1 when text follows the number, 2 when the
// number is negative.
int parse_count(const char *text, int32_t *out);

// The sample format code that a format name on the command line stands for; 0 for any other
// name. Names are compared exactly, case and all.
int32_t format_code(const char *name);

// The refusal of a -f name when no known name came before it.
inline constexpr char invalid_format_message[] =
    "invalid format argument. valid formats: ibm ieee short long char";

// The format code in force after -f NAME, given the one of the -f options before it (0 for
// none): the code NAME stands for, else the earlier one, since an unknown name after a known one
// leaves the known format in force. 0 when neither gives a format: the option is refused.
int32_t format_option(const char *name, int32_t earlier);

// A sample format code made usable for sizing samples: 1 to 5 and 8 stay, 0 becomes 1 without a
// word, and any other code becomes 1 after a warning on standard error.
int32_t usable_format(int32_t code);

// The name a program gives a usable sample format code when it reports it ("ibm", "long",
// "short", "fixed-point 4-byte float", "ieee", "char"); "invalid" for any other code.
const char *sample_format_name(int32_t code);

// parse_count judged on the whole number instead of its low 32 bits, for numbers that must keep
// their value: 2 for any negative number, and 3 for one above 2147483647, which stores
// 2147483647.
int parse_count_whole(const char *text, int32_t *out);

// Header field positions the programs read or rewrite. Binary header, counted from the start of
// the file:
constexpr int binary_interval_position = 3217; // sample interval, microseconds
constexpr int binary_samples_position = 3221;  // samples per trace
constexpr int binary_extended_position = 3505; // number of extended textual headers
// Trace header:
constexpr int delay_position = 109;          // delay recording time, milliseconds
constexpr int trace_samples_position = 115;  // samples in this trace
constexpr int trace_interval_position = 117; // sample interval of this trace, microseconds

// The exit status for a -b or -B position where no trace header field starts (the shell sees 253).
constexpr int exit_bad_byte_position = -3;

// The check of the inline and crossline positions (-b, -B): reports the first one at which no
// trace header field starts and returns exit_bad_byte_position, or returns 0 when both are
// field starts.
int check_byte_positions(int32_t il_byte, int32_t xl_byte);

// The message that refuses a number for a parse_count_whole result of 1 to 3 ("num must be an
// integer", "num must be non-negative", "num must be at most 2147483647"); null for 0.
const char *count_message(int result);

// The first call in every program's main. A program started with descriptor 0, 1 or 2 closed
// would get that number back for the next file it or the library opens, and text meant for the
// standard stream would land in that file (a diagnostic inside a SEG-Y output). So each closed
// standard descriptor gets a placeholder that can be neither read nor written: a path-only
// descriptor of the root folder. The standard streams then fail as on a closed descriptor (a
// write to standard output with EBADF, which finish_output reports), and a path that names them,
// such as /dev/stdout, opens a folder and is refused as one. Ends the run with errno if a
// placeholder cannot be opened.
void guard_standard_descriptors();

// Prints "NAME (quorva version 0.0)"; returns 0.
int print_version(const char *name);

// The end of every run: a status of 0 holds only when standard output was written in full.
// Otherwise reports the write error on standard error and returns a non-zero status: the cause
// of the first failed write when an earlier write failed, else that of the final flush.
int finish_output(int status);

#endif
