// SPDX-License-Identifier: MIT
// The trace header field catalogue: which positions start a field, and its UTF-8 texts.

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "trace_fields.h"

TEST(TraceFields, PositionPredicate)
{
    for (int32_t position : {1, 29, 31, 69, 71, 181, 189, 193, 219, 223, 233, 237}) {
        SCOPED_TRACE(position);
        EXPECT_TRUE(is_trace_field_position(position));
    }
    for (int32_t position : {INT32_MIN, -1, 0, 2, 28, 30, 70, 190, 238, 240, 241, INT32_MAX}) {
        SCOPED_TRACE(position);
        EXPECT_FALSE(is_trace_field_position(position));
    }
    int starts = 0;
    for (int32_t position = 0; position <= 241; ++position)
        starts += is_trace_field_position(position);
    EXPECT_EQ(starts, 91);
}

TEST(TraceFields, RowsKeepTheirColumnsTogether)
{
    const trace_field &ns = trace_fields[38];
    EXPECT_EQ(ns.position, 115);
    EXPECT_STREQ(ns.mnemonic, "ns");
    EXPECT_STREQ(ns.library_name, "SAMPLE_COUNT");
    EXPECT_STREQ(ns.description, "Number of samples in this trace");
    EXPECT_STREQ(trace_fields[90].mnemonic, "uint2");
    EXPECT_STREQ(trace_fields[90].library_name, "UNASSIGNED2");
}

TEST(TraceFields, MultiByteCharactersAreUtf8)
{
    EXPECT_STREQ(trace_fields[36].description, "Mute time \xE2\x80\x94 Start time in milliseconds");
    EXPECT_STREQ(trace_fields[37].description, "Mute time \xE2\x80\x94 End time in milliseconds");
    EXPECT_STREQ(trace_fields[39].description,
                 "Sample interval in microseconds (\xCE\xBCs) for this trace");
}
