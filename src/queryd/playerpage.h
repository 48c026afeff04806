#pragma once

#include "history/namedsession.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace queryd {

// What a player's page shows, from the name's sessions.
struct PlayerPage {
    std::string name; // as the latest session spells it
    std::optional<history::NamedSession> online; // the session going on where the player is now
    std::vector<history::NamedSession> sessions; // the latest first
    struct Played {
        history::ServerKey server;
        std::string serverName;
        std::chrono::seconds time{0};
    };
    std::vector<Played> perServer; // the most time first
    std::map<history::ServerKey, std::uint16_t> webPorts; // known web ports of the servers named
};

// The page for sessions the latest first, as the store gives them.
PlayerPage playerPage(std::vector<history::NamedSession> sessions);

// The address of a name's page.
std::string playerLink(std::string_view name);
// Whether a name can be asked for (2 to 32 characters, as a search): a
// longer or shorter one is shown without a link.
bool hasPlayerPage(std::string_view name);

}
