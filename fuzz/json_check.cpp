// SPDX-License-Identifier: MIT
// A strict check of JSON text (RFC 8259), for targets whose program writes JSON.

#include "json_check.h"

#include <cstddef>

namespace
{

struct json_text {
    std::string_view text;
    std::size_t at;
    int depth;
};

// Nesting deeper than this is no output of ours; it also bounds the recursion.
constexpr int deepest = 64;

bool value(json_text *j);

char
peek(const json_text *j)
{
    return j->at < j->text.size() ? j->text[j->at] : '\0';
}

void
skip_blanks(json_text *j)
{
    while (j->at < j->text.size() &&
           (peek(j) == ' ' || peek(j) == '\t' || peek(j) == '\n' || peek(j) == '\r'))
        ++j->at;
}

bool
literal(json_text *j, std::string_view word)
{
    if (j->text.substr(j->at, word.size()) != word)
        return false;
    j->at += word.size();
    return true;
}

bool
is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool
is_hex(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool
digits(json_text *j)
{
    std::size_t start = j->at;
    while (is_digit(peek(j)))
        ++j->at;
    return j->at > start;
}

bool
number(json_text *j)
{
    if (peek(j) == '-')
        ++j->at;
    if (peek(j) == '0')
        ++j->at;
    else if (!digits(j))
        return false;
    if (peek(j) == '.') {
        ++j->at;
        if (!digits(j))
            return false;
    }
    if (peek(j) == 'e' || peek(j) == 'E') {
        ++j->at;
        if (peek(j) == '+' || peek(j) == '-')
            ++j->at;
        if (!digits(j))
            return false;
    }
    return true;
}

// A string, its escapes and its UTF-8: control characters must be escaped, bytes must form
// whole characters.
bool
string(json_text *j)
{
    if (peek(j) != '"')
        return false;
    ++j->at;
    while (j->at < j->text.size()) {
        auto c = static_cast<unsigned char>(j->text[j->at++]);
        if (c == '"')
            return true;
        if (c < 0x20)
            return false;
        if (c == '\\') {
            char e = peek(j);
            ++j->at;
            if (e == 'u') {
                for (int i = 0; i < 4; ++i, ++j->at)
                    if (!is_hex(peek(j)))
                        return false;
            } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' &&
                       e != 'r' && e != 't') {
                return false;
            }
            continue;
        }
        if (c < 0x80)
            continue;
        // The bytes that may follow a lead byte; the first of them is narrower after E0, ED, F0
        // and F4, which keeps out overlong forms, surrogates and code points past U+10FFFF.
        int follow = c >= 0xC2 && c <= 0xDF   ? 1
                     : c >= 0xE0 && c <= 0xEF ? 2
                     : c >= 0xF0 && c <= 0xF4 ? 3
                                              : 0;
        if (follow == 0)
            return false;
        unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        for (int i = 0; i < follow; ++i, ++j->at) {
            auto b = static_cast<unsigned char>(peek(j));
            if (b < (i == 0 ? low : 0x80) || b > (i == 0 ? high : 0xBF))
                return false;
        }
    }
    return false;
}

bool
members(json_text *j, char close, bool keyed)
{
    if (++j->depth > deepest)
        return false;
    ++j->at;
    skip_blanks(j);
    if (peek(j) == close) {
        ++j->at;
        --j->depth;
        return true;
    }
    for (;;) {
        skip_blanks(j);
        if (keyed) {
            if (!string(j))
                return false;
            skip_blanks(j);
            if (peek(j) != ':')
                return false;
            ++j->at;
        }
        if (!value(j))
            return false;
        skip_blanks(j);
        if (peek(j) == close) {
            ++j->at;
            --j->depth;
            return true;
        }
        if (peek(j) != ',')
            return false;
        ++j->at;
    }
}

bool
value(json_text *j)
{
    skip_blanks(j);
    switch (peek(j)) {
    case '{':
        return members(j, '}', true);
    case '[':
        return members(j, ']', false);
    case '"':
        return string(j);
    case 't':
        return literal(j, "true");
    case 'f':
        return literal(j, "false");
    case 'n':
        return literal(j, "null");
    default:
        return number(j);
    }
}

} // namespace

bool
is_json_object(std::string_view text)
{
    json_text j = {text, 0, 0};
    skip_blanks(&j);
    if (peek(&j) != '{' || !value(&j))
        return false;
    skip_blanks(&j);
    return j.at == text.size();
}

bool
is_json_lines(std::string_view text)
{
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos || !is_json_object(text.substr(0, end)))
            return false;
        text.remove_prefix(end + 1);
    }
    return true;
}
