#include "queryd/liveboard.h"

#include "history/casefold.h"
#include "history/chart.h"
#include "history/players.h"

#include <algorithm>

namespace queryd {

namespace {

constexpr auto boardStep = std::chrono::hours(1);
constexpr std::size_t boardSteps = 24;

// The series moved on to the hour that holds `now`: older hours drop out.
void moveOn(history::Series &day, history::Seconds now)
{
    const history::Seconds start = std::chrono::floor<std::chrono::hours>(now) - boardStep * (boardSteps - 1);
    if (day.steps.size() == boardSteps && day.start == start)
        return;
    std::vector<std::optional<history::Count>> steps(boardSteps);
    for (std::size_t i = 0; i < day.steps.size(); ++i) {
        const history::Seconds at = day.start + day.step * static_cast<long>(i);
        if (day.steps[i] && at >= start && at < start + boardStep * boardSteps)
            steps[static_cast<std::size_t>((at - start) / boardStep)] = day.steps[i];
    }
    day = {start, boardStep, std::move(steps)};
}

// Gives back whether the day changed.
bool drawnDay(BoardRow &row, history::Seconds now)
{
    const history::Seconds start = row.day.start;
    const std::size_t size = row.day.steps.size();
    moveOn(row.day, now);
    if (row.sparkline.empty() || row.day.start != start || row.day.steps.size() != size) {
        row.sparkline = history::sparkline(row.day);
        return true;
    }
    return false;
}

std::string shownName(const BoardRow &row)
{
    return history::foldCase(row.name.empty() ? row.address : row.name);
}

}

void sortBoard(std::vector<BoardRow> &rows)
{
    std::vector<std::pair<std::string, BoardRow *>> keyed;
    for (BoardRow &row : rows)
        keyed.emplace_back(shownName(row), &row);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        const BoardRow &x = *a.second, &y = *b.second;
        if (x.answered != y.answered)
            return x.answered;
        if (x.answered && x.players != y.players)
            return x.players > y.players;
        return a.first < b.first;
    });
    std::vector<BoardRow> sorted;
    sorted.reserve(rows.size());
    for (auto &[key, row] : keyed)
        sorted.push_back(std::move(*row));
    rows = std::move(sorted);
}

std::vector<BoardRow> filterBoard(std::vector<BoardRow> rows, const BoardFilter &filter)
{
    const std::string text = history::foldCase(filter.text);
    std::erase_if(rows, [&](const BoardRow &row) {
        if (filter.withPlayers && (!row.answered || row.players < 1))
            return true;
        return !text.empty() && history::foldCase(row.name).find(text) == std::string::npos
            && history::foldCase(row.map).find(text) == std::string::npos;
    });
    return rows;
}

LiveBoard::LiveBoard(Now now, History history)
    : m_now(std::move(now))
    , m_history(std::move(history))
{
}

void LiveBoard::setServers(std::span<const PolledServer> servers)
{
    std::map<std::pair<std::string, std::uint16_t>, BoardRow> rows;
    // A store that cannot answer one server will not answer the next either:
    // the rest start with an empty day rather than wait for it each.
    bool seeding = static_cast<bool>(m_history);
    for (const PolledServer &server : servers) {
        auto key = std::make_pair(server.target.host, server.target.port);
        const auto known = m_rows.find(key);
        BoardRow row;
        if (known != m_rows.end()) {
            row = std::move(known->second);
        } else {
            row.address = server.target.host;
            row.queryPort = server.target.port;
            auto day = seeding ? m_history(server.target) : std::nullopt;
            seeding = day.has_value();
            if (day)
                row.day = std::move(*day);
            drawnDay(row, m_now());
        }
        row.webPort = server.webPort;
        rows.emplace(std::move(key), std::move(row));
    }
    m_rows = std::move(rows);
    ++m_version;
}

void LiveBoard::polled(const ut3::QueryTarget &server, const ut3::QueryResult &result)
{
    const auto found = m_rows.find({server.host, server.port});
    if (found == m_rows.end())
        return;
    BoardRow &row = found->second;
    ++m_version;
    row.answered = result.state == ut3::QueryState::online && result.status;
    if (!row.answered)
        return;
    const ut3::ServerInfo &info = result.status->server;
    const history::Seconds now = m_now();
    row.name = std::string(history::bounded(info.name));
    row.map = std::string(history::bounded(info.map));
    row.mode = std::string(history::bounded(info.gameMode));
    row.players = static_cast<int>(info.numPlayers.value_or(static_cast<long long>(result.status->players.size())));
    row.bots = static_cast<int>(info.bots.value_or(0));
    row.maxPlayers = info.maxPlayers ? std::optional(static_cast<int>(*info.maxPlayers)) : std::nullopt;
    row.pingMs = result.pingMs;
    row.lastAnswer = now;
    moveOn(row.day, now);
    row.day.steps.back() = history::Count{row.players, row.bots};
    row.sparkline = history::sparkline(row.day);
}

std::uint16_t LiveBoard::webPort(const ut3::QueryTarget &server) const
{
    const auto found = m_rows.find({server.host, server.port});
    return found == m_rows.end() ? 0 : found->second.webPort;
}

void LiveBoard::moveOnAll()
{
    const history::Seconds hour = std::chrono::floor<std::chrono::hours>(m_now());
    if (hour == m_hour)
        return;
    m_hour = hour;
    for (auto &[key, row] : m_rows)
        drawnDay(row, hour);
    ++m_version;
}

std::uint64_t LiveBoard::version()
{
    moveOnAll();
    return m_version;
}

std::vector<BoardRow> LiveBoard::rows()
{
    moveOnAll();
    std::vector<BoardRow> rows;
    rows.reserve(m_rows.size());
    for (const auto &[key, row] : m_rows)
        rows.push_back(row);
    sortBoard(rows);
    return rows;
}

}
