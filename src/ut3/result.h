#pragma once

#include "ut3/status.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ut3 {

enum class QueryState {
    online,    // the server answered; status holds what it said
    timeout,   // no (complete) answer before the deadline; status holds what arrived, if anything
    refused,   // the system reported the port closed (ICMP port unreachable)
    malformed, // the server answered with something that is not a UT3 reply
    invalid,   // the address itself is unusable: no such host, bad port
};

// The lower-case name used in JSON and on the terminal.
std::string_view stateName(QueryState state);

struct QueryTarget {
    std::string host;
    std::uint16_t port = 6500;
};

struct QueryResult {
    QueryTarget query;
    QueryState state = QueryState::timeout;
    std::string error; // readable, empty when online
    std::optional<ServerStatus> status; // online, or what arrived before the deadline
    std::optional<double> pingMs;
    std::chrono::system_clock::time_point queriedAt;
};

}
