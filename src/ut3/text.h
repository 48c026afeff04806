#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ut3 {

// Longest string kept from a game server, in bytes of its UTF-8 form. UT3's
// own limits are far lower; this only stops a hostile server from making
// every page that shows it huge.
inline constexpr std::size_t maxServerStringBytes = 1024;

// Turns bytes from a game server into text that is safe to keep and show:
// valid UTF-8 stays UTF-8, anything else is read as Windows-1252 (what UT3
// on Windows sends for names typed with accents); control characters,
// including a NUL and the C1 range, and the bidirectional and line
// separator characters become U+FFFD; the result is cut, on a
// character boundary, to at most maxBytes bytes.
std::string decodeServerString(std::string_view bytes, std::size_t maxBytes = maxServerStringBytes);

}
