#include "ut3/text.h"

#include "common/utf8.h"
#include "common/windows1252.h"

#include <algorithm>
#include <cstdint>

namespace ut3 {

namespace {

constexpr char32_t replacement = U'\uFFFD';

// C0 and C1 controls, and the characters that reorder or break text where
// it is shown: bidirectional overrides and isolates (a name could turn the
// rest of a line around) and the line and paragraph separators.
bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

// When the text was cut, a sequence the cut broke at its very end does not
// make the whole of it Windows-1252.
bool isValidUtf8(std::string_view bytes, bool cut)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto decoded = common::utf8At(bytes, i);
        if (!decoded)
            return cut && bytes.size() - i < 4 && static_cast<std::uint8_t>(bytes[i]) >= 0xC0;
        i += decoded->second;
    }
    return true;
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
            const auto decoded = common::utf8At(bytes, i);
            if (!decoded)
                break; // the sequence the cut broke
            c = decoded->first;
            i += decoded->second;
        } else {
            const auto byte = static_cast<std::uint8_t>(bytes[i++]);
            c = common::windows1252::toUnicode(byte);
        }
        if (isControl(c))
            c = replacement;
        if (out.size() + common::utf8Length(c) > maxBytes)
            break;
        common::appendUtf8(out, c);
    }
    return out;
}

}
