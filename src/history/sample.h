#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace history {

using Seconds = std::chrono::sys_seconds;

// A game server as the service knows it: the address as the user typed it
// and the query port.
struct ServerKey
{
    std::string address;
    std::uint16_t queryPort = 6500;

    auto operator<=>(const ServerKey &) const = default;
};

// One successful query: who was on the server when.
struct Sample
{
    ServerKey server;
    Seconds time;
    int players = 0;
    int bots = 0;
    std::string map;
    // What the server called itself.
    std::string serverName;
    // The players' names, when names are kept; they become sessions.
    std::vector<std::string> names;
};

struct Count
{
    int players = 0;
    int bots = 0;

    bool operator==(const Count &) const = default;
};

// Counts over a span in equal steps; an empty step is one in which the
// server did not answer (or was not asked).
struct Series
{
    Seconds start;
    std::chrono::seconds step{300};
    std::vector<std::optional<Count>> steps;

    Seconds end() const { return start + step * static_cast<long>(steps.size()); }
};

// How a user named a server in a lookup: the address as typed (a name that
// resolves to the address queried, say), the query port, and the web port of
// the server's statistics pages (0 for none).
struct AskedAs
{
    std::string address;
    std::uint16_t queryPort = 0;
    std::uint16_t webPort = 0;

    bool operator==(const AskedAs &) const = default;
};

// A server looked up recently, as the latest lookup named it (nothing for
// one noted by an older version), with what its latest answer said.
struct RecentServer
{
    ServerKey server;
    std::optional<AskedAs> asked;
    Seconds lastLookup;
    std::optional<Sample> latest;
};

}
