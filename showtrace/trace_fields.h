// SPDX-License-Identifier: MIT
// The catalogue of the 91 SEG-Y trace header fields.
#ifndef QUORVA_TRACE_FIELDS_H
#define QUORVA_TRACE_FIELDS_H

#include <cstddef>
#include <cstdint>

struct trace_field {
    int32_t position;     // 1-based byte position of the field's first byte
    int32_t width;        // bytes, 2 or 4
    const char *mnemonic; // Seismic Unix keyword
    const char *library_name;
    const char *description; // UTF-8
};

constexpr std::size_t trace_field_count = 91;
// Longest texts of the catalogue, in bytes: for buffers that hold listing lines.
constexpr std::size_t trace_field_name_max = 20;
constexpr std::size_t trace_field_description_max = 160;
extern const trace_field trace_fields[trace_field_count];

// True exactly when one of the catalogue's fields starts at position.
bool is_trace_field_position(int32_t position);

#endif
