#include "queryd/polllist.h"

#include "queryd/addresspolicy.h"

#include "common/address.h"

#include <set>
#include <utility>

namespace queryd {

std::vector<PolledServer> composePollList(std::span<const ut3::ListedServer> listed,
                                          std::span<const PolledServer> lookedUp, std::size_t max)
{
    std::vector<PolledServer> servers;
    std::set<std::pair<std::string, std::uint16_t>> taken;
    const auto add = [&](const PolledServer &server) {
        if (servers.size() < max && taken.emplace(server.target.host, server.target.port).second)
            servers.push_back(server);
    };
    for (const ut3::ListedServer &server : listed)
        add({server.target, server.webPort, true});
    for (const PolledServer &server : lookedUp)
        add({server.target, server.webPort, false});
    return servers;
}

common::Expected<std::vector<ut3::ListedServer>> loadServerList(const std::string &path, bool publicService)
{
    auto servers = ut3::readServerList(path);
    if (!servers || !publicService)
        return servers;
    for (const ut3::ListedServer &server : *servers)
        if (const auto literal = common::addressLiteral(server.target.host)) {
            const auto verdict = judgeForPublicService(common::unwrapped(*literal));
            if (const auto *refused = std::get_if<AddressRefusal>(&verdict))
                return common::Fault{path + ":" + std::to_string(server.line) + ": " + refused->sentence};
        }
    return servers;
}

std::string reloadServerList(const std::string &path, bool publicService, std::vector<ut3::ListedServer> &servers)
{
    auto loaded = loadServerList(path, publicService);
    if (!loaded)
        return loaded.fault().message + "; still polling the " + std::to_string(servers.size()) + " servers read before";
    servers = std::move(*loaded);
    return "read " + std::to_string(servers.size()) + " servers from " + path;
}

}
