#pragma once

#include "history/players.h"
#include "history/sqlite.h"

#include <cstddef>
#include <cstdint>
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
    sqlite::Connection &m_connection;
    sqlite::Statement m_namesHolding, m_namesContaining, m_serversLatest, m_endedByName, m_serverById;
};

}
