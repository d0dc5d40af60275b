// SPDX-License-Identifier: MIT
// The time window arithmetic of quorva-trim: which samples of a trace lie in a window.

#include "sample_window.h"

#include <cstdint>

static constexpr int64_t microseconds_per_millisecond = 1000;
// A 16-bit interval field that reads negative holds 32768 us or more when read unsigned.
static constexpr int64_t widest_interval = UINT16_MAX;

bool
sample_window(int32_t samples, int32_t delay, int32_t interval, int32_t begin, int32_t end,
              sample_window_result *window)
{
    *window = {0, samples, delay};
    if (begin < 0 && end == INT32_MAX)
        return true;

    const int64_t start = delay * microseconds_per_millisecond;
    const int64_t span = int64_t{samples} * interval;
    const int64_t longest_span = int64_t{samples} * (interval < 0 ? widest_interval : interval);
    const int64_t begin_distance = int64_t{begin} - delay;
    const int64_t end_limit = end * microseconds_per_millisecond;
    const bool cuts_start = begin_distance > 0;
    const bool cuts_end = end_limit < start + longest_span;
    if (interval <= 0)
        return !cuts_start && !cuts_end;

    if (cuts_start) {
        const int64_t skipped = begin_distance * microseconds_per_millisecond / interval;
        window->first = skipped;
        window->count = samples - skipped;
        window->delay = delay + interval * skipped / microseconds_per_millisecond;
    }
    // Counted from the trace's own delay, not the new one: the last sample does not move.
    if (cuts_end)
        window->count -= (span - interval + start - end_limit) / interval;
    return true;
}
