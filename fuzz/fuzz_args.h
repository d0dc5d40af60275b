// SPDX-License-Identifier: MIT
// How a fuzz input becomes a command line and a file: its first byte says how many bytes after it
// choose the options (and, for the library target, the call arguments); the rest is the file.
#ifndef QUORVA_FUZZ_ARGS_H
#define QUORVA_FUZZ_ARGS_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Takes bytes from the front; 0 once they are used up.
struct byte_reader {
    const uint8_t *data;
    std::size_t size;
};

uint8_t next_byte(byte_reader *reader);
// Four bytes, big-endian.
int32_t next_int32(byte_reader *reader);

struct fuzz_input {
    byte_reader choices;
    const uint8_t *file;
    std::size_t file_size;
};

fuzz_input split_input(const uint8_t *data, std::size_t size);

// What an option's argument is drawn from.
enum class argument_kind {
    none,
    number, // a count or position: landmark numbers, signs, blanks, junk, or any 32-bit value
    format, // the five format names, and names that are none
    range,  // a -r argument of up to three numbers, then up to two more number words
};

struct option_spec {
    const char *short_name; // "-i", or null
    const char *long_name;  // "--iline-begin", or null
    argument_kind argument;
};

// One option as drawn: its row and the argument text (empty for none).
struct drawn_option {
    const option_spec *spec;
    std::string argument;
};

// Draws options from the reader until it is empty: each takes a byte for its row and its
// spelling (short, long, or with the argument attached), and bytes for its argument. Appends the
// words to args.
std::vector<drawn_option> draw_options(byte_reader *choices, std::span<const option_spec> table,
                                       std::vector<std::string> *args);

// A program target's command line as drawn from its input: the first choice byte picks the shape
// of the operands (the target's own business), the rest the options.
struct drawn_command {
    fuzz_input input;
    uint8_t operands;
    std::vector<drawn_option> options;
    std::vector<std::string> args; // the options' words; the target appends the operands
};

drawn_command draw_command(const uint8_t *data, std::size_t size,
                           std::span<const option_spec> table);

// The folder for the targets' scratch files: TMPDIR, else /dev/shm where it can be written (every
// run writes and reads its files, ten times faster in memory than on a disk), else /tmp.
std::string scratch_parent();

#endif
