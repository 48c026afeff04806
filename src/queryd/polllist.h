#pragma once

#include "ut3/result.h"
#include "ut3/serverlist.h"

#include "common/expected.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace queryd {

// A server the service asks for its state every poll interval.
struct PolledServer {
    ut3::QueryTarget target;
    std::uint16_t webPort = 0;
    bool listed = false; // named by --servers rather than looked up

    bool operator==(const PolledServer &other) const
    {
        return target.host == other.target.host && target.port == other.target.port && webPort == other.webPort
            && listed == other.listed;
    }
};

// What is polled, at most `max` servers: the listed ones first, in the
// list's order, then those looked up, the latest first; each server once.
// Past the bound, the servers looked up longest ago are not polled.
std::vector<PolledServer> composePollList(std::span<const ut3::ListedServer> listed,
                                          std::span<const PolledServer> lookedUp, std::size_t max);

// The server list of --servers, as the service uses it: a public service
// refuses a line with an address it does not query, as "FILE:LINE: why".
// A name is judged when it is polled, by the address it resolves to then.
common::Expected<std::vector<ut3::ListedServer>> loadServerList(const std::string &path, bool publicService);

// Reads the list again into `servers`, as on SIGHUP; a list that cannot be
// used leaves `servers` as they were. What happened, as a line for the log.
std::string reloadServerList(const std::string &path, bool publicService, std::vector<ut3::ListedServer> &servers);

}
