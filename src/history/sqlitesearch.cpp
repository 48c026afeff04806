#include "history/sqlitesearch.h"

#include "history/backend.h"
#include "history/casefold.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <unordered_map>

namespace history {

using namespace backend;

namespace {

struct Candidate
{
    std::int64_t id = 0;
    std::string name;
    std::int64_t newest = 0; // the end of its latest session anywhere
};

// The trigram index finds texts of three characters or more; a shorter one
// is looked for in every name, which are no more than the days kept hold.
constexpr std::size_t shortestIndexed = 3;

std::size_t characters(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xc0) != 0x80; }));
}

// The text as one phrase of the index's query language, in which no
// character but the quote means anything.
std::string phrase(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += c;
    }
    return quoted + '"';
}

}

Expected<std::vector<PlayerMatch>> SqliteSearch::search(std::string_view text, Seconds since, Seconds onlineSince, std::size_t limit)
{
    // Planned here rather than left to one statement: a short text matches
    // thousands of names, and only the sessions of the names that can make
    // the list need to be looked up in the large table. The names come from
    // their index with their sessions not yet there, found through the small
    // table's index by name. All of it sees one state of the file.
    sqlite::Transaction read(m_connection);
    if (auto begun = read.beginRead(reading); !begun.ok())
        return begun.fault();

    // The names that hold the text: no character of it is a wildcard.
    const std::string folded = foldCase(text);
    const bool indexed = characters(folded) >= shortestIndexed;
    const auto namesReady = m_connection.prepare(reading, {
        {m_namesHolding, "SELECT n.id, n.name, n.last_ended, c.server_id, c.last_seen "
                         "FROM names_text JOIN names n ON n.id = names_text.rowid "
                         "LEFT JOIN current_sessions c ON c.name_id = n.id WHERE names_text MATCH ?1"},
        {m_namesContaining, "SELECT n.id, n.name, n.last_ended, c.server_id, c.last_seen "
                            "FROM names n LEFT JOIN current_sessions c ON c.name_id = n.id WHERE instr(n.folded, ?1) > 0"},
        {m_serversLatest, "SELECT id, coalesce(latest, 0) FROM servers"},
    });
    if (!namesReady.ok())
        return namesReady.fault();
    sqlite::Statement &names = indexed ? m_namesHolding.bind(1, phrase(folded)) : m_namesContaining.bind(1, folded);
    struct Row
    {
        std::size_t candidate;
        std::int64_t serverId;
        std::int64_t seen;
    };
    std::vector<Candidate> candidates;
    std::unordered_map<std::int64_t, std::size_t> candidateOf; // by name id
    std::vector<Row> current; // their sessions not yet in the large table
    bool going = false; // a session goes on: it ends with its server's latest sample
    auto matched = m_connection.eachRow(names, reading, [&](const sqlite::Statement &row) {
        const auto [entry, added] = candidateOf.try_emplace(row.integer(0), candidates.size());
        if (added)
            candidates.push_back({row.integer(0), row.text(1), row.integer(2)});
        if (!row.isNull(3)) {
            current.push_back({entry->second, row.integer(3), row.isNull(4) ? -1 : row.integer(4)});
            going = going || row.isNull(4);
        }
    });
    if (!matched.ok())
        return matched.fault();
    // Read once for all of them rather than looked up for each.
    std::unordered_map<std::int64_t, std::int64_t> latestOf; // by server id
    if (going) {
        auto loaded = m_connection.eachRow(m_serversLatest, reading, [&latestOf](const sqlite::Statement &row) {
            latestOf.emplace(row.integer(0), row.integer(1));
        });
        if (!loaded.ok())
            return loaded.fault();
    }
    for (Row &row : current) {
        if (row.seen < 0) {
            const auto latest = latestOf.find(row.serverId);
            row.seen = latest != latestOf.end() ? latest->second : 0;
        }
        candidates[row.candidate].newest = std::max(candidates[row.candidate].newest, row.seen);
    }

    // Each name gives a row at its newest time, so the rows come from the
    // `limit` names seen latest (by name among those seen at once, as the
    // rows are), and no row of theirs older than the last of them can make
    // the list.
    const std::int64_t from = seconds(since);
    std::vector<std::size_t> listed;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i].newest >= from)
            listed.push_back(i);
    const std::size_t shownNames = std::min(limit, listed.size());
    std::partial_sort(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(shownNames), listed.end(),
                      [&candidates](std::size_t a, std::size_t b) {
                          const Candidate &x = candidates[a], &y = candidates[b];
                          return x.newest != y.newest ? x.newest > y.newest : x.name < y.name;
                      });
    listed.resize(shownNames);
    if (listed.empty())
        return std::vector<PlayerMatch>{};
    const std::int64_t floor = listed.size() == limit ? candidates[listed.back()].newest : from;

    std::vector<bool> isListed(candidates.size());
    for (std::size_t i : listed)
        isListed[i] = true;
    const auto prepared = m_connection.prepare(reading, {
        {m_endedByName, "SELECT server_id, max(last_seen) FROM sessions "
                        "WHERE name_id = ?1 AND last_seen >= ?2 GROUP BY server_id"},
        {m_serverById, "SELECT address, query_port, coalesce(name, ''), coalesce(latest, 0) FROM servers WHERE id = ?1"},
    });
    if (!prepared.ok())
        return prepared.fault();
    std::map<std::pair<std::size_t, std::int64_t>, std::int64_t> latestBy; // (candidate, server): its latest time
    const std::int64_t newest = candidates[listed.front()].newest;
    for (std::size_t window = 0;; ++window) {
        const bool whole = window == std::size(searchWindows);
        const std::int64_t after = whole ? floor : std::max(floor, newest - searchWindows[window]);
        const auto add = [&](std::size_t candidate, std::int64_t serverId, std::int64_t seen) {
            if (seen >= after) {
                auto &time = latestBy[{candidate, serverId}];
                time = std::max(time, seen);
            }
        };
        latestBy.clear();
        for (const Row &row : current)
            if (isListed[row.candidate])
                add(row.candidate, row.serverId, row.seen);
        for (std::size_t i : listed) {
            m_endedByName.bind(1, candidates[i].id).bind(2, after);
            auto done = m_connection.eachRow(m_endedByName, reading,
                                             [&](const sqlite::Statement &row) { add(i, row.integer(0), row.integer(1)); });
            if (!done.ok())
                return done.fault();
        }
        if (whole || after == floor || latestBy.size() >= limit)
            break;
    }

    std::vector<Row> rows;
    rows.reserve(latestBy.size());
    for (const auto &[key, seen] : latestBy)
        rows.push_back({key.first, key.second, seen});
    const std::size_t shown = std::min(limit, rows.size());
    std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(shown), rows.end(),
                      [&](const Row &a, const Row &b) {
                          if (a.seen != b.seen)
                              return a.seen > b.seen;
                          if (candidates[a.candidate].name != candidates[b.candidate].name)
                              return candidates[a.candidate].name < candidates[b.candidate].name;
                          return a.serverId < b.serverId;
                      });
    rows.resize(shown);

    std::vector<PlayerMatch> matches;
    matches.reserve(rows.size());
    for (const Row &row : rows) {
        auto done = m_connection.eachRow(m_serverById.bind(1, row.serverId), reading, [&](const sqlite::Statement &server) {
            const std::int64_t latest = server.integer(3);
            const bool online = row.seen == latest && at(latest) >= onlineSince;
            matches.push_back({candidates[row.candidate].name, online, at(row.seen),
                               {server.text(0), static_cast<std::uint16_t>(server.integer(1))}, server.text(2)});
        });
        if (!done.ok())
            return done.fault();
    }
    return matches;
}

}
