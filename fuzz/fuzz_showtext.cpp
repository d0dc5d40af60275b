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
    drawn_command command = draw_command(data, size, options);
    append_file_operands(command.operands, &command.args);
    program_run run = run_program_in_process("quorva-showtext", command.args, command.input.file,
                                             command.input.file_size);
    // Without --strict a file that cannot be opened is passed over with this line; after "--"
    // every word is a file.
    std::vector<std::string> allowed;
    for (const std::string &a : command.args)
        allowed.push_back("quorva-showtext: " + a + ": No such file or directory");
    check_diagnostics("quorva-showtext", run, allowed, true);
    return 0;
}
