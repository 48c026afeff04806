#pragma once

#include <cstdint>
#include <string>

namespace queryd {

// A server the start page lists as looked up lately.
struct RecentServer {
    std::string address;
    std::uint16_t queryPort;
    std::uint16_t webPort;
    std::string name; // as the server called itself
};

}
