// SPDX-License-Identifier: MIT
// The time window arithmetic of quorva-trim.

#include <cstdint>
#include <gtest/gtest.h>

#include "sample_window.h"

static constexpr int32_t open_end = INT32_MAX;

struct window_case {
    int32_t samples;
    int32_t delay;
    int32_t interval;
    int32_t begin;
    int32_t end;
    bool placed;
    int64_t first;
    int64_t count;
    int64_t new_delay;
};

// clang-format off
static constexpr window_case window_cases[] = {
    // No window: the whole trace, nothing computed.
    {500,    100,    4000,   -1,        open_end, true,  0,   500, 100},
    // The worked example: samples at 100, 104, ... 2096 ms.
    {500,    100,    4000,   250,       1000,     true,  37,  189, 248},
    {500,    100,    4000,   250,       1001,     true,  37,  190, 248},
    {500,    100,    2500,   109,       open_end, true,  3,   497, 107},
    // A bound on a sample keeps that sample.
    {500,    100,    4000,   104,       open_end, true,  1,   499, 104},
    {500,    100,    4000,   -1,        1000,     true,  0,   226, 100},
    // An end alone still applies the begin of -1 to traces that start earlier.
    {10,     -20,    4000,   -1,        1000,     true,  4,   6,   -4},
    // Windows after the last sample (at 36 ms): within one interval, one to two, more.
    {10,     0,      4000,   38,        open_end, true,  9,   1,   36},
    {10,     0,      4000,   40,        open_end, true,  10,  0,   40},
    {10,     0,      4000,   44,        open_end, true,  11,  -1,  44},
    // Windows before the first sample (at 100 ms).
    {10,     100,    4000,   0,         99,       true,  0,   1,   100},
    {10,     100,    4000,   0,         96,       true,  0,   0,   100},
    {10,     100,    4000,   0,         50,       true,  0,   -11, 100},
    // An interval of 0 places every sample at the delay; a window that cuts needs more.
    {10,     100,    0,      50,        200,      true,  0,   10,  100},
    {10,     100,    0,      101,       open_end, false, 0,   0,   0},
    {10,     100,    0,      0,         99,       false, 0,   0,   0},
    // A negative interval matters only when the window cuts the trace; its end must lie past
    // the trace at any interval a 16-bit field can mean (10 x 65535 us after 100 ms).
    {10,     100,    -25536, -1,        open_end, true,  0,   10,  100},
    {10,     0,      -25536, 0,         open_end, true,  0,   10,  0},
    {10,     100,    -4000,  100,       756,      true,  0,   10,  100},
    {10,     100,    -4000,  0,         1000,     true,  0,   10,  100},
    {10,     100,    -4000,  0,         755,      false, 0,   0,   0},
    {10,     100,    -4000,  101,       open_end, false, 0,   0,   0},
    {10,     100,    -1,     -1,        200,      false, 0,   0,   0},
    // Far beyond the trace the values stay whole instead of wrapping into it.
    {1000,   0,      1,      INT32_MAX, open_end, true,  2147483647000, -2147483646000, 2147483647},
    // Samples x interval beyond 32 bits.
    {100000, 0,      30000,  -1,        10,       true,  0,   2,   0},
    // A trace without samples.
    {0,      0,      4000,   -1,        open_end, true,  0,   0,   0},
    {0,      0,      4000,   10,        open_end, true,  2,   -2,  8},
};
// clang-format on

TEST(SampleWindow, Cases)
{
    for (const window_case &row : window_cases) {
        SCOPED_TRACE(testing::Message()
                     << row.samples << " samples, delay " << row.delay << ", interval "
                     << row.interval << ", window " << row.begin << ".." << row.end);
        sample_window_result window{};
        ASSERT_EQ(sample_window(row.samples, row.delay, row.interval, row.begin, row.end, &window),
                  row.placed);
        if (!row.placed)
            continue;
        EXPECT_EQ(window.first, row.first);
        EXPECT_EQ(window.count, row.count);
        EXPECT_EQ(window.delay, row.new_delay);
    }
}

// Whatever the window, kept samples lie inside the trace, and the first of them is the last
// sample at or before a begin given after the delay.
TEST(SampleWindow, KeptSamplesLieInsideTheTrace)
{
    for (int32_t samples : {0, 1, 7, 500, 32767})
        for (int32_t delay : {-32768, -300, -1, 0, 5, 100, 32767})
            for (int32_t interval : {1, 250, 2500, 4000, 32767})
                for (int32_t begin : {-1, 0, 3, 104, 250, 1000, 70000, INT32_MAX})
                    for (int32_t end : {0, 99, 1000, 1001, 2000000, INT32_MAX}) {
                        if (begin > end)
                            continue;
                        sample_window_result w{};
                        ASSERT_TRUE(sample_window(samples, delay, interval, begin, end, &w));
                        if (w.count <= 0)
                            continue;
                        SCOPED_TRACE(testing::Message() << samples << " " << delay << " "
                                                        << interval << " " << begin << " " << end);
                        EXPECT_GE(w.first, 0);
                        EXPECT_LE(w.first + w.count, samples);
                        int64_t first_time = int64_t{delay} * 1000 + w.first * interval;
                        if (begin > delay && !(begin < 0 && end == open_end)) {
                            EXPECT_LE(first_time, int64_t{begin} * 1000);
                            EXPECT_GT(first_time + interval, int64_t{begin} * 1000);
                        }
                    }
}
