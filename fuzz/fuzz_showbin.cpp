// SPDX-License-Identifier: MIT
// Fuzzes quorva-showbin: its options and its files.

#include <cstddef>
#include <cstdint>

#include "fuzz_args.h"
#include "fuzz_run.h"

// clang-format off
static constexpr option_spec options[] = {
    {"-n",  "--nonzero",     argument_kind::none},
    {"-d",  "--description", argument_kind::none},
    {"-dn", "--desc",        argument_kind::none},
    {"-V",  "--version",     argument_kind::none},
    {"-h",  "--help",        argument_kind::none},
    {"-x",  "--n",           argument_kind::none},
    {"--",  "--bogus",       argument_kind::none},
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
    program_run run = run_program_in_process("quorva-showbin", args, in.file, in.file_size);
    check_diagnostics("quorva-showbin", run, {}, true);
    return 0;
}
