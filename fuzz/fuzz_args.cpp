// SPDX-License-Identifier: MIT
// How a fuzz input becomes a command line and a file.

#include "fuzz_args.h"

#include <cstdlib>
#include <iterator>
#include <unistd.h>

uint8_t
next_byte(byte_reader *reader)
{
    if (reader->size == 0)
        return 0;
    --reader->size;
    return *reader->data++;
}

int32_t
next_int32(byte_reader *reader)
{
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = bits << 8 | next_byte(reader);
    return static_cast<int32_t>(bits);
}

fuzz_input
split_input(const uint8_t *data, std::size_t size)
{
    std::size_t choices = size == 0 ? 0 : data[0];
    if (choices > size - 1)
        choices = size == 0 ? 0 : size - 1;
    const uint8_t *rest = size == 0 ? data : data + 1;
    return {{rest, choices}, rest + choices, size == 0 ? 0 : size - 1 - choices};
}

// Numbers where the programs draw lines: the ends of the 16- and 32-bit ranges, field positions,
// and texts that parse partly or not at all.
// clang-format off
static constexpr const char *number_words[] = {
    "0", "1", "2", "3", "4", "5", "7", "8", "10", "11", "100", "101", "109", "115", "117", "189",
    "190", "193", "237", "238", "240", "241", "250", "1000", "3505", "32767", "32768", "65535",
    "65536", "2147483647", "2147483648", "4294967296", "4294967297", "99999999999999999999",
    "-1", "-3", "-0", "-2147483648", "+7", " 5", "5 ", "", " ", "12abc", "0x10", "x", "--",
};

static constexpr const char *format_words[] = {
    "ibm", "long", "short", "ieee", "char", "IBM", "fixed", "xyz", "", "ibm ",
};

static constexpr const char *range_words[] = {
    "1", "2", "5", "1 10 3", "1 5 2 junk", "7x", "abc", "", " ", "-1", "5 -1", "0", "10 5",
    "5 0 2", "1 2147483647", "2147483647 2147483647 2147483647", "2147483648", "1 1 0",
    "1 99999999999 1", "-2147483649",
};
// clang-format on

template <std::size_t n>
static std::string
draw_word(byte_reader *choices, const char *const (&words)[n])
{
    uint8_t pick = next_byte(choices);
    if (pick < n)
        return words[pick];
    // Any other byte stands for a number of its own: small ones often, every 32-bit one at times.
    if (pick < 0xF0)
        return std::to_string(pick - n);
    return std::to_string(next_int32(choices));
}

static std::string
draw_argument(byte_reader *choices, argument_kind kind)
{
    switch (kind) {
    case argument_kind::number:
        return draw_word(choices, number_words);
    case argument_kind::format:
        return draw_word(choices, format_words);
    case argument_kind::range:
        return draw_word(choices, range_words);
    case argument_kind::none:
        break;
    }
    return {};
}

std::vector<drawn_option>
draw_options(byte_reader *choices, std::span<const option_spec> table,
             std::vector<std::string> *args)
{
    std::vector<drawn_option> drawn;
    while (choices->size > 0 && !table.empty()) {
        uint8_t pick = next_byte(choices);
        const option_spec &spec = table[pick % table.size()];
        // Short or long spelling, and the argument as the next word or attached to the option.
        unsigned spelling = pick / table.size() % 4;
        const char *name = spec.short_name;
        if (!name || (spelling & 1 && spec.long_name))
            name = spec.long_name;
        std::string argument = draw_argument(choices, spec.argument);
        // "-i" with an empty argument attached would take the next word as its argument.
        bool long_form = name[1] == '-' && name[2] != '\0';
        bool attached = spelling & 2 && (long_form || !argument.empty());
        if (spec.argument == argument_kind::none) {
            // "--verbose=1": an argument where none is allowed.
            args->push_back(attached && long_form && pick >= 0xC0 ? std::string(name) + "=1"
                                                                  : name);
        } else if (attached) {
            args->push_back(std::string(name) + (long_form ? "=" : "") + argument);
        } else {
            args->push_back(name);
            args->push_back(argument);
        }
        // -r takes up to two more words while they are numbers.
        if (spec.argument == argument_kind::range)
            for (int extra = next_byte(choices) % 3; extra > 0; --extra)
                args->push_back(draw_word(choices, number_words));
        drawn.push_back({&spec, argument});
    }
    return drawn;
}

drawn_command
draw_command(const uint8_t *data, std::size_t size, std::span<const option_spec> table)
{
    drawn_command command;
    command.input = split_input(data, size);
    command.operands = next_byte(&command.input.choices);
    command.options = draw_options(&command.input.choices, table, &command.args);
    return command;
}

std::string
scratch_parent()
{
    const char *tmp = std::getenv("TMPDIR");
    if (tmp && *tmp)
        return tmp;
    return access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
}
