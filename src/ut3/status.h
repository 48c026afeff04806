#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a UT3 server says about itself, decoded and given UT3's meanings.
// Every string is already decoded to UTF-8, bounded and free of control
// bytes (see text.h); a value the server did not send is absent, never zero.
namespace ut3 {

struct Player {
    std::string name;
    std::optional<long long> score, deaths, ping, team;
};

struct Team {
    std::string name;
    std::optional<long long> score;
};

struct ServerInfo {
    std::string name, map, gameMode, gameClass, description;
    std::optional<long long> numPlayers, maxPlayers, bots, goalScore, timeLimit;
    std::optional<std::string> botSkill;
    std::optional<bool> locked, pure;
    std::vector<std::string> mutators, standardMutators;
    // Every key and value as the server sent them (decoded), in arrival order.
    std::vector<std::pair<std::string, std::string>> rules;
};

struct ServerStatus {
    ServerInfo server;
    std::vector<Player> players;
    std::vector<Team> teams;
    // False when some packet of the reply never arrived.
    bool complete = true;
};

}
