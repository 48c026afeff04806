#include "ut3/text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace ut3 {

namespace {

constexpr char32_t replacement = U'\uFFFD';

// Windows-1252's 0x80-0x9F; the five bytes it leaves unassigned stay the
// C1 controls of the same number, which are then replaced like any control.
constexpr std::array<char16_t, 32> cp1252High = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178'};

// C0 and C1 controls, and the characters that reorder or break text where
// it is shown: bidirectional overrides and isolates (a name could turn the
// rest of a line around) and the line and paragraph separators.
bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

// The code point starting at bytes[i] and its length, when it is a valid,
// shortest-form UTF-8 sequence of a scalar value.
std::optional<std::pair<char32_t, std::size_t>> utf8At(std::string_view bytes, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80)
        return std::pair{char32_t(lead), std::size_t(1)};
    std::size_t length;
    char32_t c;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (i + length > bytes.size())
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    return std::pair{c, length};
}

// When the text was cut, a sequence the cut broke at its very end does not
// make the whole of it Windows-1252.
bool isValidUtf8(std::string_view bytes, bool cut)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto decoded = utf8At(bytes, i);
        if (!decoded)
            return cut && bytes.size() - i < 4 && static_cast<std::uint8_t>(bytes[i]) >= 0xC0;
        i += decoded->second;
    }
    return true;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::size_t utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

}

std::string decodeServerString(std::string_view bytes, std::size_t maxBytes)
{
    // Every input byte gives at most one character, so no more input than
    // this can fit; the rest is never looked at.
    const bool cut = bytes.size() > maxBytes;
    bytes = bytes.substr(0, maxBytes);
    // Most of what servers send is printable ASCII, which stays as it is.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return std::string(bytes);
    const bool utf8 = isValidUtf8(bytes, cut);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c;
        if (utf8) {
            const auto decoded = utf8At(bytes, i);
            if (!decoded)
                break; // the sequence the cut broke
            c = decoded->first;
            i += decoded->second;
        } else {
            const auto byte = static_cast<std::uint8_t>(bytes[i++]);
            c = byte >= 0x80 && byte <= 0x9F ? char32_t(cp1252High[byte - 0x80]) : char32_t(byte);
        }
        if (isControl(c))
            c = replacement;
        if (out.size() + utf8Length(c) > maxBytes)
            break;
        appendUtf8(out, c);
    }
    return out;
}

}
