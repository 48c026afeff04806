#include "queryd/recentservers.h"

#include <algorithm>

namespace queryd {

RecentServers::RecentServers(std::size_t capacity)
    : m_capacity(capacity)
{
}

void RecentServers::add(RecentServer server)
{
    std::erase_if(m_servers, [&](const RecentServer &known) {
        return known.address == server.address && known.queryPort == server.queryPort && known.webPort == server.webPort;
    });
    m_servers.push_front(std::move(server));
    if (m_servers.size() > m_capacity)
        m_servers.pop_back();
}

}
