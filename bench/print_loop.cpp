// SPDX-License-Identifier: MIT
// The yardstick of the quorva-showtrace benchmark: the listing of every trace header of a
// survey made by quorva-bench-survey, printed by a bare printf loop that reads nothing.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "trace_fields.h"

static constexpr int interval_us = 4000;

int
main(int argc, char **argv)
{
    if (argc < 4) {
        std::fputs("usage: quorva-bench-print XLINES SAMPLES TRACES\n"
                   "Prints what quorva-showtrace -r 1 TRACES prints for such a survey.\n",
                   stderr);
        return 2;
    }
    const long xlines = std::atol(argv[1]);
    const int samples = std::atoi(argv[2]);
    const long traces = std::atol(argv[3]);
    if (xlines <= 0 || samples <= 0 || traces < 0) {
        std::fputs("print_loop: XLINES and SAMPLES must be positive\n", stderr);
        return 2;
    }
    int values[trace_field_count] = {};
    for (long trace = 0; trace < traces; ++trace) {
        // The header values that quorva-bench-survey writes; every other field is 0.
        for (std::size_t i = 0; i < trace_field_count; ++i) {
            switch (trace_fields[i].position) {
            case 1:
            case 5:
                values[i] = static_cast<int>(trace + 1);
                break;
            case 115:
                values[i] = samples;
                break;
            case 117:
                values[i] = interval_us;
                break;
            case 189:
                values[i] = static_cast<int>(trace / xlines + 1);
                break;
            case 193:
                values[i] = static_cast<int>(trace % xlines + 1);
                break;
            default:
                break;
            }
        }
        for (std::size_t i = 0; i < trace_field_count; ++i)
            std::printf("%s\t%d\n", trace_fields[i].mnemonic, values[i]);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
