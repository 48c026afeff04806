#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace queryd {

struct RecentServer {
    std::string address;
    std::uint16_t queryPort;
    std::uint16_t webPort;
    std::string name; // as the server called itself
};

// The servers that answered a lookup through this service lately, newest
// first, each once. Only servers that answered: a start page must not
// list whatever someone typed.
class RecentServers final {
public:
    explicit RecentServers(std::size_t capacity = 10);
    void add(RecentServer server);
    const std::deque<RecentServer> &servers() const { return m_servers; }

private:
    std::size_t m_capacity;
    std::deque<RecentServer> m_servers;
};

}
