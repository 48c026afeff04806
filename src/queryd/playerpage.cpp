#include "queryd/playerpage.h"

#include "queryd/paths.h"

#include <algorithm>
#include <cctype>

namespace queryd {

PlayerPage playerPage(std::vector<history::NamedSession> sessions)
{
    PlayerPage page;
    if (!sessions.empty())
        page.name = sessions.front().name;
    std::map<history::ServerKey, std::size_t> indexOf;
    for (const history::NamedSession &session : sessions) {
        if (session.online && !page.online)
            page.online = session;
        const auto [found, added] = indexOf.try_emplace(session.server, page.perServer.size());
        if (added)
            page.perServer.push_back({session.server, session.serverName, {}});
        page.perServer[found->second].time += session.to - session.from;
    }
    std::stable_sort(page.perServer.begin(), page.perServer.end(),
                     [](const PlayerPage::Played &a, const PlayerPage::Played &b) { return a.time > b.time; });
    page.sessions = std::move(sessions);
    return page;
}

bool hasPlayerPage(std::string_view name)
{
    const auto characters = std::count_if(name.begin(), name.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; });
    return characters >= 2 && characters <= 32;
}

std::string playerLink(std::string_view name)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string link = std::string(PlayerPath) + "?name=";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x80 && std::isalnum(byte)) || c == '-' || c == '_' || c == '.' || c == '~') {
            link += c;
        } else {
            link += '%';
            link += hex[byte >> 4];
            link += hex[byte & 15];
        }
    }
    return link;
}

}
