// SPDX-License-Identifier: MIT
// Fuzzes quorva-showtext: its options, header numbers and files.

#include <cstddef>
#include <cstdint>

#include "fuzz_args.h"
#include "fuzz_run.h"

// clang-format off
static constexpr option_spec options[] = {
    {"-n", "--num",       argument_kind::number},
    {"-a", "--all",       argument_kind::none},
    {"-s", "--strict",    argument_kind::none},
    {"-S", "--nonstrict", argument_kind::none},
    {"-V", "--version",   argument_kind::none},
    {"-h", "--help",      argument_kind::none},
    {"-x", "--nu",        argument_kind::number},
    {"--", "--bogus",     argument_kind::none},
};
// clang-format on

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    fuzz_input in = split_input(data, size);
    uint8_t operands = next_byte(&in.choices);
    std::vector<std::string> args;
    draw_options(&in.choices, options, &args);
    switch (operands % 8) {
    case 5:
        args.insert(args.end(), {input_path(), input_path()});
        break;
    case 6:
        args.insert(args.end(), {input_path(), missing_path(), input_path()});
        break;
    case 7:
        break;
    default:
        args.push_back(input_path());
    }
    program_run run = run_program_in_process("quorva-showtext", args, in.file, in.file_size);
    // Without --strict a file that cannot be opened is passed over with this line; after "--"
    // every word is a file.
    std::vector<std::string> allowed;
    for (const std::string &a : args)
        allowed.push_back("quorva-showtext: " + a + ": No such file or directory");
    check_diagnostics("quorva-showtext", run, allowed, true);
    return 0;
}
