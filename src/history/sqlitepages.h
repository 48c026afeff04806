#pragma once

#include "history/sqlite.h"
#include "history/store.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace history {

// What the SQLite store reads for pages: a server's counts and who was on
// it, and the servers looked up lately. Each a statement kept between uses.
class SqlitePages final
{
public:
    explicit SqlitePages(sqlite::Connection &connection) : m_connection(connection) {}
    SqlitePages(const SqlitePages &) = delete;
    SqlitePages &operator=(const SqlitePages &) = delete;

    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span, std::chrono::seconds step);
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until, std::chrono::seconds utcOffset);
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit);
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since);
    Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince);

private:
    sqlite::Connection &m_connection;
    sqlite::Statement m_series, m_hourlyAverages, m_lookedUpSince, m_recentServers, m_playersSeen;
};

}
