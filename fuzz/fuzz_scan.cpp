// SPDX-License-Identifier: MIT
// Fuzzes quorva-scan: its byte positions, format names, field listing and JSON output, on one
// or several files. With --json its standard output must be JSON Lines, whatever the bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_args.h"
#include "fuzz_run.h"
#include "json_check.h"

// clang-format off
static constexpr option_spec options[] = {
    {"-b", "--il",         argument_kind::number},
    {"-B", "--xl",         argument_kind::number},
    {"-f", "--format",     argument_kind::format},
    {"-a", "--all-fields", argument_kind::none},
    {"-j", "--json",       argument_kind::none},
    {"-j", "--json",       argument_kind::none},
    {"-V", "--version",    argument_kind::none},
    {"-h", "--help",       argument_kind::none},
};
// clang-format on

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    drawn_command command = draw_command(data, size, options);
    append_file_operands(command.operands, &command.args);
    program_run run = run_program_in_process("quorva-scan", command.args, command.input.file,
                                             command.input.file_size);
    check_diagnostics(
        "quorva-scan", run,
        {"sample format field is garbage. falling back to 4-byte float. override with --format"},
        false);

    bool json = false;
    for (const std::string &a : command.args)
        json = json || a == "-j" || a == "--json";
    // --help, --version and an unknown option print their own texts instead.
    std::string_view out = run.out;
    if (json && !out.starts_with("Usage: ") && !out.starts_with("quorva-scan (") &&
        !is_json_lines(out))
        fail_check("--json wrote something that is not JSON Lines", run);
    return 0;
}
