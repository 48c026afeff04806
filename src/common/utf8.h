#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace common {

// The code point starting at text[i] and its length in bytes, when it is a
// valid, shortest-form UTF-8 sequence of a scalar value (no surrogates,
// nothing beyond U+10FFFF); nothing otherwise, also for a sequence cut off
// by the end of the text.
std::optional<std::pair<char32_t, std::size_t>> utf8At(std::string_view text, std::size_t i);

void appendUtf8(std::string &out, char32_t c);

// Bytes the character takes in UTF-8.
std::size_t utf8Length(char32_t c);

}
