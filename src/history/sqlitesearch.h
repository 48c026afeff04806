#pragma once

#include "history/players.h"
#include "history/sqlite.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace history {

// The SQLite store's player search. It finds names through their trigram
// index and their sessions going on through the small table's index by
// name, and looks up in the large table only the sessions of the names that
// can make the list.
class SqliteSearch final
{
public:
    explicit SqliteSearch(sqlite::Connection &connection) : m_connection(connection) {}
    SqliteSearch(const SqliteSearch &) = delete;
    SqliteSearch &operator=(const SqliteSearch &) = delete;

    Expected<std::vector<PlayerMatch>> search(std::string_view text, Seconds since, Seconds onlineSince, std::size_t limit);

private:
    struct Candidate
    {
        std::int64_t id = 0;
        std::string name;
        std::int64_t newest = 0; // the end of its latest session anywhere
    };
    // A session in the small table: going on, it ends with its server's
    // latest sample.
    struct Row
    {
        std::size_t candidate;
        std::int64_t serverId;
        std::int64_t seen;
    };
    // The names that hold the text, the sessions of theirs that were read
    // in the small table, and those of the names that make the list, newest
    // first (by name among those seen at once, as the rows are).
    struct Ranking
    {
        std::vector<Candidate> candidates;
        std::vector<Row> current;
        std::vector<std::size_t> listed;
        std::int64_t floor = 0; // no row older than this can make the list
    };

    Expected<std::optional<Ranking>> rankLatest(const std::string &folded, bool indexed, std::int64_t from, std::size_t limit);
    Expected<Ranking> rankAll(const std::string &folded, bool indexed, std::int64_t from, std::size_t limit);

    sqlite::Connection &m_connection;
    sqlite::Statement m_namesHolding, m_namesContaining, m_sessionsHolding, m_sessionsContaining,
        m_serversAnsweredLast, m_sessionsOnServer, m_latestOf, m_sessionsOfName, m_serversLatest, m_endedByName, m_serverById;
};

}
