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
    drawn_command command = draw_command(data, size, options);
    append_file_operands(command.operands, &command.args);
    program_run run = run_program_in_process("quorva-showbin", command.args, command.input.file,
                                             command.input.file_size);
    check_diagnostics("quorva-showbin", run, {}, true);
    return 0;
}
