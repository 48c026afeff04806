#pragma once

#include "history/players.h"
#include "history/sqlite.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace history {

// The SQLite store's player search. It finds names through their trigram
// index, and keeps what it read of the file between searches: each server's
// latest sample time, and the sessions not yet in the large table, by
// server. After a change of the file it reads again only the sessions of the
// servers whose latest sample moved, unless the file counts an edit of
// another kind.
class SqliteSearch final
{
public:
    explicit SqliteSearch(sqlite::Connection &connection) : m_connection(connection) {}
    SqliteSearch(const SqliteSearch &) = delete;
    SqliteSearch &operator=(const SqliteSearch &) = delete;

    Expected<std::vector<PlayerMatch>> search(std::string_view text, Seconds since, Seconds onlineSince, std::size_t limit);
    // The connection wrote: the file's data version does not count its own
    // connection's writes, so what is kept is checked again.
    void wrote() { m_kept.dataVersion = -1; }

private:
    struct CurrentSession
    {
        std::int64_t nameId = 0;
        std::int64_t seen = 0; // a session going on is seen in its server's latest sample
    };
    struct Snapshot
    {
        std::int64_t dataVersion = -1;
        std::int64_t edits = -1;
        std::unordered_map<std::int64_t, std::int64_t> latest;
        std::unordered_map<std::int64_t, std::vector<CurrentSession>> current;
    };

    Expected<const Snapshot *> snapshot();
    Expected<Done> readCurrentSessions(sqlite::Statement &query);

    sqlite::Connection &m_connection;
    sqlite::Statement m_namesHolding, m_namesContaining, m_serversLatest, m_currentSessions, m_serverSessions, m_endedByName, m_serverById;
    Snapshot m_kept;
};

}
