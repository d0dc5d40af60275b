// SPDX-License-Identifier: MIT
// The time window arithmetic of quorva-trim: which samples of a trace lie in a window.
#ifndef QUORVA_SAMPLE_WINDOW_H
#define QUORVA_SAMPLE_WINDOW_H

#include <cstdint>

// Kept in 64 bits, so that a window far outside a trace shows as such instead of wrapping back
// into the trace when narrowed.
struct sample_window_result {
    int64_t first; // first kept sample, from 0
    int64_t count; // kept samples; 0 or below when the window misses the trace
    int64_t delay; // the new delay recording time, in milliseconds
};

// The window from begin to end (milliseconds of recording time, inclusive) over a trace of
// `samples` samples starting at `delay` milliseconds, `interval` microseconds apart. Both ends
// widen outward to whole samples. A begin below 0 with an end of INT32_MAX asks for no window.
// Returns false, and leaves *window undefined, when the window cuts the trace and the interval is
// 0 or negative: such samples have no place in time. A negative interval gives the trace no end
// either, so there the window's end cuts nothing only when it lies past the trace at the widest
// interval a 16-bit field can mean (65535 us).
bool sample_window(int32_t samples, int32_t delay, int32_t interval, int32_t begin, int32_t end,
                   sample_window_result *window);

#endif
