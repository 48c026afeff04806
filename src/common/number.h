#pragma once

#include <charconv>
#include <limits>
#include <optional>
#include <string_view>

namespace common {

// The whole text as a decimal number from low to high, or nothing: no
// blanks, no '+', nothing after the digits. Server values, ports and
// command-line options are all read this one way.
template<class T>
std::optional<T> wholeNumber(std::string_view text, T low = std::numeric_limits<T>::min(),
                             T high = std::numeric_limits<T>::max())
{
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

}
