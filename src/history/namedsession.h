#pragma once

#include "history/sample.h"

#include <string>

namespace history {

// A session of a player on a server, as a player's own page lists it.
struct NamedSession
{
    std::string name; // as the server sent it
    ServerKey server;
    std::string serverName;
    Seconds from;
    Seconds to;      // the server's latest sample for a session going on
    bool goingOn = false; // the name is in the server's latest sample
    bool online = false;  // going on, and that sample is recent enough

    bool operator==(const NamedSession &) const = default;
};

}
