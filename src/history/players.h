#pragma once

#include "history/sample.h"
#include "history/sessionrule.h"

#include <chrono>
#include <span>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace history {

// A stretch of time in which a name was on a server without a gap.
struct PlayerSession
{
    Seconds from;
    Seconds to;

    bool operator==(const PlayerSession &) const = default;
};

// A name seen on one server, with its sessions there, the latest first.
// Online: in the server's latest answer, which is recent enough.
struct SeenPlayer
{
    std::string name;
    bool online = false;
    std::vector<PlayerSession> sessions;

    bool operator==(const SeenPlayer &) const = default;
};

// A name found by a player search, on one server.
struct PlayerMatch
{
    std::string name;
    bool online = false;
    Seconds lastSeen;
    ServerKey server;
    std::string serverName;

    bool operator==(const PlayerMatch &) const = default;
};

// Brings what a store gave for a server up to a sample of it (its time and
// names) that the store may not hold yet, by the session rule: the names
// in the sample are online, their sessions go on or start anew; the others
// are not online. The latest seen first again.
void foldLatest(std::vector<SeenPlayer> &seen, Seconds time, std::span<const std::string> names, const SessionRule &rule);

// Strings from game servers are untrusted: a name or a map is kept to this
// many bytes, cut at a character boundary.
inline constexpr std::size_t maxNameBytes = 200;
std::string_view bounded(std::string_view text, std::size_t maxBytes = maxNameBytes);

}
