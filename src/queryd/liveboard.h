#pragma once

#include "queryd/polllist.h"
#include "ut3/result.h"

#include "history/sample.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace queryd {

// A polled server on the live board: its latest answer, and whether its
// latest poll got one.
struct BoardRow {
    std::string address;
    std::uint16_t queryPort = 0;
    std::uint16_t webPort = 0;
    std::string name, map, mode; // of the latest answer; empty before the first
    int players = 0, bots = 0;   // humans and bots in the latest answer
    std::optional<int> maxPlayers;
    std::optional<double> pingMs;
    bool answered = false; // the latest poll got an answer
    std::optional<history::Seconds> lastAnswer;
    history::Series day; // players per hour over the last 24 hours
    std::string sparkline; // the day drawn (history/chart.h), drawn again only when it changes
    // A field shown on the board is compared in renderboard.cpp's
    // renderedAlike too, which tells a row to render again.
};

// What a board request keeps.
struct BoardFilter {
    std::string text;         // in the name or the map, case-blind, literal; empty: every server
    bool withPlayers = false; // at least one human
};

// The board's order: answered servers by human players, most first, then by
// name; those whose latest poll got no answer last, by name too.
void sortBoard(std::vector<BoardRow> &rows);
std::vector<BoardRow> filterBoard(std::vector<BoardRow> rows, const BoardFilter &filter);

// The latest state of every polled server, kept from the polls themselves so
// that the board is read without a query to a game server or the store. It
// holds the servers of the latest poll list and no others: the poll list's
// bound is its bound too.
class LiveBoard final {
public:
    using Now = std::function<history::Seconds()>;
    // The last day of a server new to the board, hourly, as the store has
    // it; none when it cannot be read.
    using History = std::function<std::optional<history::Series>(const ut3::QueryTarget &)>;

    LiveBoard(Now now, History history);

    // The board becomes these servers.
    void setServers(std::span<const PolledServer> servers);
    // A poll's result for `server` as it was polled.
    void polled(const ut3::QueryTarget &server, const ut3::QueryResult &result);
    // The web port the server is polled with; 0 for none or not polled.
    std::uint16_t webPort(const ut3::QueryTarget &server) const;
    // Every server, in the board's order.
    std::vector<BoardRow> rows();
    // Changes with every change of what rows() gives: a rendered board
    // stays good while it stays.
    std::uint64_t version();

private:
    Now m_now;
    History m_history;
    // Moves every day on to the current hour, once an hour.
    void moveOnAll();

    std::map<std::pair<std::string, std::uint16_t>, BoardRow> m_rows;
    std::uint64_t m_version = 0;
    history::Seconds m_hour;
};

}
