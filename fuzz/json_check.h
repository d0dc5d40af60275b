// SPDX-License-Identifier: MIT
// A strict check of JSON text (RFC 8259), for targets whose program writes JSON.
#ifndef QUORVA_FUZZ_JSON_CHECK_H
#define QUORVA_FUZZ_JSON_CHECK_H

#include <string_view>

// True when text is exactly one JSON object, with nothing but blanks around it.
bool is_json_object(std::string_view text);

// True when every line of text (each ended by a newline) is one JSON object: JSON Lines.
bool is_json_lines(std::string_view text);

#endif
