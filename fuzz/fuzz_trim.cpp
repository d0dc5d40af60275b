// SPDX-License-Identifier: MIT
// Fuzzes quorva-trim: every numeric option, format names and its input file. A successful copy
// must be the input's headers followed by input traces in their order, each changed only in its
// delay (byte 109) and sample count (byte 115) and cut to a run of its own samples.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>

#include "common.h"
#include "fuzz_args.h"
#include "fuzz_run.h"
#include "quorva.h"

// clang-format off
static constexpr option_spec options[] = {
    {"-i",    "--iline-begin",     argument_kind::number},
    {"-I",    "--iline-end",       argument_kind::number},
    {"-x",    "--xline-begin",     argument_kind::number},
    {"-X",    "--xline-end",       argument_kind::number},
    {nullptr, "--inline-begin",    argument_kind::number},
    {nullptr, "--crossline-end",   argument_kind::number},
    {"-s",    "--sample-begin",    argument_kind::number},
    {"-S",    "--sample-end",      argument_kind::number},
    {"-s",    "--sample-begin",    argument_kind::number},
    {"-S",    "--sample-end",      argument_kind::number},
    {"-f",    "--format",          argument_kind::format},
    {"-b",    "--il",              argument_kind::number},
    {"-B",    "--xl",              argument_kind::number},
    {"-v",    "--verbose",         argument_kind::none},
    {"-V",    "--version",         argument_kind::none},
    {"-h",    "--help",            argument_kind::none},
};
// clang-format on

static constexpr int text_size = QUORVA_TEXTHEADER_SIZE;
static constexpr int headers_size = QUORVA_TRACE0_MIN;
static constexpr int header_size = QUORVA_TRACEHEADER_SIZE;

static int32_t
field16(const uint8_t *p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
}

// Trace header bytes that the copy rewrites: the delay (109-110) and the sample count (115-116).
static bool
is_rewritten(int offset)
{
    return offset == 108 || offset == 109 || offset == 114 || offset == 115;
}

static bool
same_header_but_rewritten(const uint8_t *in, const uint8_t *out)
{
    for (int i = 0; i < header_size; ++i)
        if (in[i] != out[i] && !is_rewritten(i))
            return false;
    return true;
}

// Whether run (length bytes) is samples k to k + length / width - 1 of the trace for some k.
static bool
is_sample_run(const uint8_t *samples, std::size_t samples_size, const uint8_t *run,
              std::size_t length, int width)
{
    if (length == 0)
        return true;
    for (std::size_t at = 0; at + length <= samples_size; at += static_cast<std::size_t>(width)) {
        const void *found = memmem(samples + at, samples_size - at, run, length);
        if (!found)
            return false;
        auto offset = static_cast<std::size_t>(static_cast<const uint8_t *>(found) - samples);
        if (offset % static_cast<std::size_t>(width) == 0)
            return true;
        at = offset - offset % static_cast<std::size_t>(width);
    }
    return false;
}

// The sample format quorva-trim sizes the samples by: the last recognised -f, else the header's.
static int32_t
format_in_use(const std::vector<drawn_option> &drawn, const uint8_t *binheader)
{
    int32_t code = 0;
    for (const drawn_option &d : drawn)
        if (d.spec->argument == argument_kind::format && format_code(d.argument.c_str()) != 0)
            code = format_code(d.argument.c_str());
    if (code == 0)
        code = field16(binheader + 24);
    return quorva_format_size(code) != 0 ? code : 1;
}

static void
check_copy(const program_run &run, const uint8_t *in, std::size_t in_size,
           const std::vector<drawn_option> &drawn)
{
    std::string copy = read_whole_file(output_path());
    auto *out = reinterpret_cast<const uint8_t *>(copy.data());
    const uint8_t *in_bin = in + text_size;
    int32_t extended = in_size >= headers_size ? field16(in_bin + 304) : -1;
    int32_t samples = in_size >= headers_size ? field16(in_bin + 20) : -1;
    if (extended < 0 || samples < 0)
        fail_check("a copy succeeded without a usable binary header", run);
    std::size_t trace0 = headers_size + std::size_t{text_size} * static_cast<std::size_t>(extended);
    if (in_size < trace0 || copy.size() < trace0)
        fail_check("a copy succeeded with its headers short", run);
    if (std::memcmp(in, out, text_size) != 0)
        fail_check("the copy's textual header is not the input's", run);
    for (int i = text_size; i < headers_size; ++i)
        if (in[i] != out[i] && i != text_size + 20 && i != text_size + 21)
            fail_check("the copy's binary header differs beyond the sample count", run);
    if (std::memcmp(in + headers_size, out + headers_size, trace0 - headers_size) != 0)
        fail_check("the copy's extended textual headers are not the input's", run);

    int width = quorva_format_size(format_in_use(drawn, in_bin));
    std::size_t samples_size = static_cast<std::size_t>(samples) * static_cast<std::size_t>(width);
    std::size_t trace_size = header_size + samples_size;
    std::size_t traces = (in_size - trace0) / trace_size;
    std::size_t next = 0; // the input trace after the last one matched
    int32_t last_count = -1;
    for (std::size_t at = trace0; at < copy.size();) {
        if (copy.size() - at < header_size)
            fail_check("the copy ends inside a trace header", run);
        const uint8_t *header = out + at;
        int32_t count = field16(header + 114);
        if (count < 0 || count > samples)
            fail_check("a copied trace has more samples than the input's traces", run);
        std::size_t length = static_cast<std::size_t>(count) * static_cast<std::size_t>(width);
        if (copy.size() - at - header_size < length)
            fail_check("the copy ends inside a trace's samples", run);
        for (; next < traces; ++next) {
            const uint8_t *trace = in + trace0 + next * trace_size;
            if (same_header_but_rewritten(trace, header) &&
                is_sample_run(trace + header_size, samples_size, header + header_size, length,
                              width))
                break;
        }
        if (next == traces)
            fail_check("a copied trace is not an input trace, in order, with a run of its samples",
                       run);
        ++next;
        last_count = count;
        at += header_size + length;
    }
    int32_t binary_count = field16(out + text_size + 20);
    if (binary_count != (last_count >= 0 ? last_count : samples))
        fail_check("the copy's binary sample count is not that of its last trace", run);
}

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    drawn_command command = draw_command(data, size, options);
    std::vector<std::string> &args = command.args;
    bool copies = false;
    switch (command.operands % 16) {
    case 12:
        args.push_back(input_path());
        break;
    case 13:
        args.insert(args.end(), {input_path(), output_path(), missing_path()});
        break;
    case 14:
        args.insert(args.end(), {input_path(), input_path()});
        break;
    case 15: {
        // The input under another name: opening it for writing would truncate the input.
        std::string alias = input_path();
        alias.insert(alias.rfind('/'), "/.");
        args.insert(args.end(), {input_path(), alias});
        break;
    }
    default:
        args.insert(args.end(), {input_path(), output_path()});
        copies = true;
    }
    program_run run =
        run_program_in_process("quorva-trim", args, command.input.file, command.input.file_size);
    check_diagnostics(
        "quorva-trim", run,
        {"Wrong number of files",
         "sample format field is garbage. falling back to 4-byte float. override with --format",
         "quorva-trim: no traces copied"},
        false);
    // --help, --version and a wrong operand count succeed without a copy.
    if (copies && run.status == 0 && access(output_path().c_str(), F_OK) == 0)
        check_copy(run, command.input.file, command.input.file_size, command.options);
    return 0;
}
