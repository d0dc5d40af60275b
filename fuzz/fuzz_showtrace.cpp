// SPDX-License-Identifier: MIT
// Fuzzes quorva-showtrace: trace selections, format names, columns and its file.

#include <cstddef>
#include <cstdint>

#include "fuzz_args.h"
#include "fuzz_run.h"

// clang-format off
static constexpr option_spec options[] = {
    {"-t", "--trace",       argument_kind::number},
    {"-r", "--range",       argument_kind::range},
    {"-r", "--range",       argument_kind::range},
    {"-f", "--format",      argument_kind::format},
    {"-s", "--strict",      argument_kind::none},
    {"-S", "--non-strict",  argument_kind::none},
    {"-n", "--nonzero",     argument_kind::none},
    {"-d", "--description", argument_kind::none},
    {"-k", "--quorva",      argument_kind::none},
    {"-v", "--verbose",     argument_kind::none},
    {"-V", "--version",     argument_kind::none},
    {"-h", "--help",        argument_kind::none},
    {"--", "--tr",          argument_kind::number},
};
// clang-format on

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    drawn_command command = draw_command(data, size, options);
    append_file_operands(command.operands, &command.args);
    program_run run = run_program_in_process("quorva-showtrace", command.args, command.input.file,
                                             command.input.file_size);
    check_diagnostics(
        "quorva-showtrace", run,
        {"sample format field is garbage. falling back to 4-byte float. override with --format"},
        true);
    return 0;
}
