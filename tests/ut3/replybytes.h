#pragma once

#include "ut3/packets.h"

#include <string>

// Replies of a UT3 server as bytes, for the rows of the protocol's and the
// session's tests.
namespace replybytes {

using namespace std::string_literals;

constexpr ut3::SessionId id = 0x01020304;
const std::string idBytes = "\x01\x02\x03\x04"s;

inline ut3::ByteView view(const std::string &bytes)
{
    return {reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()};
}

// A challenge reply carrying `number` as text.
inline std::string challenge(const std::string &number, const std::string &session = idBytes)
{
    return "\x09" + session + number + "\0"s;
}

// A status packet: header with index, last flag and section, then payload.
inline std::string packet(int index, bool last, int section, const std::string &payload, const std::string &session = idBytes)
{
    return "\x00"s + session + "splitnum\0"s + char(index | (last ? 0x80 : 0)) + char(section) + payload;
}

}
