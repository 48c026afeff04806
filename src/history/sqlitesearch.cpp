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

// The trigram index finds texts of three characters or more; a shorter one
// is looked for in every name, which are no more than the days kept hold.
constexpr std::size_t shortestIndexed = 3;

// How many servers per row of the list, those that answered last, have
// their sessions read, and how many names per row, in the order of their
// texts, are looked at for those seen in the last second of those servers'
// answers, before every name is ranked; with no more names than that, every
// name is ranked at once.
constexpr std::size_t serversReadPerRow = 4;
constexpr std::size_t namesLookedAtPerRow = 8;

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
    const auto prepared = m_connection.prepare(reading, {
        {m_namesHolding, "SELECT n.id, n.name, n.last_ended FROM names_text JOIN names n ON n.id = names_text.rowid "
                         "WHERE names_text MATCH ?1"},
        {m_namesContaining, "SELECT id, name, last_ended FROM names WHERE instr(folded, ?1) > 0"},
        {m_sessionsHolding, "SELECT n.id, n.name, n.last_ended, c.server_id, c.last_seen "
                            "FROM names_text JOIN names n ON n.id = names_text.rowid "
                            "LEFT JOIN current_sessions c ON c.name_id = n.id WHERE names_text MATCH ?1"},
        {m_sessionsContaining, "SELECT n.id, n.name, n.last_ended, c.server_id, c.last_seen "
                               "FROM names n LEFT JOIN current_sessions c ON c.name_id = n.id WHERE instr(n.folded, ?1) > 0"},
        {m_serversAnsweredLast, "SELECT id, latest FROM servers WHERE latest IS NOT NULL ORDER BY latest DESC LIMIT ?1"},
        {m_sessionsOnServer, "SELECT name_id, last_seen FROM current_sessions WHERE server_id = ?1"},
        {m_latestOf, "SELECT coalesce(latest, 0) FROM servers WHERE id = ?1"},
        {m_sessionsOfName, "SELECT server_id, last_seen FROM current_sessions WHERE name_id = ?1"},
        {m_serversLatest, "SELECT id, coalesce(latest, 0) FROM servers"},
        {m_endedByName, "SELECT server_id, max(last_seen) FROM sessions "
                        "WHERE name_id = ?1 AND last_seen >= ?2 GROUP BY server_id"},
        {m_serverById, "SELECT address, query_port, coalesce(name, ''), coalesce(latest, 0) FROM servers WHERE id = ?1"},
    });
    if (!prepared.ok())
        return prepared.fault();

    // The names that hold the text: no character of it is a wildcard.
    const std::string folded = foldCase(text);
    const bool indexed = characters(folded) >= shortestIndexed;
    const std::int64_t from = seconds(since);
    auto quick = rankLatest(folded, indexed, from, limit);
    if (!quick)
        return quick.fault();
    Ranking ranking;
    if (*quick) {
        ranking = std::move(**quick);
    } else {
        auto all = rankAll(folded, indexed, from, limit);
        if (!all)
            return all.fault();
        ranking = std::move(*all);
    }
    if (ranking.listed.empty())
        return std::vector<PlayerMatch>{};
    const std::vector<Candidate> &candidates = ranking.candidates;
    const std::vector<std::size_t> &listed = ranking.listed;

    std::vector<bool> isListed(candidates.size());
    for (std::size_t i : listed)
        isListed[i] = true;
    std::map<std::pair<std::size_t, std::int64_t>, std::int64_t> latestBy; // (candidate, server): its latest time
    const std::int64_t newest = candidates[listed.front()].newest;
    for (std::size_t window = 0;; ++window) {
        const bool whole = window == std::size(searchWindows);
        const std::int64_t after = whole ? ranking.floor : std::max(ranking.floor, newest - searchWindows[window]);
        const auto add = [&](std::size_t candidate, std::int64_t serverId, std::int64_t seen) {
            if (seen >= after) {
                auto &time = latestBy[{candidate, serverId}];
                time = std::max(time, seen);
            }
        };
        latestBy.clear();
        for (const Row &row : ranking.current)
            if (isListed[row.candidate])
                add(row.candidate, row.serverId, row.seen);
        for (std::size_t i : listed) {
            m_endedByName.bind(1, candidates[i].id).bind(2, after);
            auto done = m_connection.eachRow(m_endedByName, reading,
                                             [&](const sqlite::Statement &row) { add(i, row.integer(0), row.integer(1)); });
            if (!done.ok())
                return done.fault();
        }
        if (whole || after == ranking.floor || latestBy.size() >= limit)
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

// Most of the list comes from the servers that answered last: the names
// seen after the edge (the last answer of those servers) are those in their
// sessions and those whose latest session in the large table ended later,
// and with `limit` of them they make the list. A poll round's answers come
// within seconds of each other, though, and a short text may have more
// names seen in the edge's second than the list holds: the rest of the list
// are then the first of those by name, found by looking at the names in
// that order. None (and the caller ranks every name) when neither gives
// enough.
Expected<std::optional<SqliteSearch::Ranking>> SqliteSearch::rankLatest(const std::string &folded, bool indexed, std::int64_t from,
                                                                        std::size_t limit)
{
    Ranking ranking;
    std::vector<Candidate> &candidates = ranking.candidates;
    sqlite::Statement &names = indexed ? m_namesHolding.bind(1, phrase(folded)) : m_namesContaining.bind(1, folded);
    auto matched = m_connection.eachRow(names, reading, [&candidates](const sqlite::Statement &row) {
        candidates.push_back({row.integer(0), row.text(1), row.integer(2)});
    });
    if (!matched.ok())
        return matched.fault();
    // A few hundred names cost less to rank than the servers cost to read.
    if (candidates.size() <= namesLookedAtPerRow * limit)
        return std::optional<Ranking>();
    std::vector<std::pair<std::int64_t, std::int64_t>> recent; // (server id, latest), latest first
    auto read = m_connection.eachRow(m_serversAnsweredLast.bind(1, static_cast<std::int64_t>(serversReadPerRow * limit)), reading,
                                     [&recent](const sqlite::Statement &row) { recent.emplace_back(row.integer(0), row.integer(1)); });
    if (!read.ok())
        return read.fault();
    if (recent.empty())
        return std::optional<Ranking>();
    const std::int64_t edge = recent.back().second;

    std::unordered_map<std::int64_t, std::size_t> candidateOf; // by name id
    for (std::size_t i = 0; i < candidates.size(); ++i)
        candidateOf.emplace(candidates[i].id, i);
    for (const auto &[serverId, latest] : recent) {
        if (latest <= edge)
            break;
        auto done = m_connection.eachRow(m_sessionsOnServer.bind(1, serverId), reading, [&, serverId = serverId, latest = latest](const sqlite::Statement &row) {
            const auto candidate = candidateOf.find(row.integer(0));
            if (candidate == candidateOf.end())
                return;
            const std::int64_t seen = row.isNull(1) ? latest : row.integer(1);
            ranking.current.push_back({candidate->second, serverId, seen});
            candidates[candidate->second].newest = std::max(candidates[candidate->second].newest, seen);
        });
        if (!done.ok())
            return done.fault();
    }
    const auto newestFirst = [&candidates](std::size_t a, std::size_t b) {
        const Candidate &x = candidates[a], &y = candidates[b];
        return x.newest != y.newest ? x.newest > y.newest : x.name < y.name;
    };
    std::vector<std::size_t> &listed = ranking.listed;
    std::vector<bool> isAbove(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i].newest > edge && candidates[i].newest >= from) {
            listed.push_back(i);
            isAbove[i] = true;
        }
    if (listed.size() >= limit) {
        std::partial_sort(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(limit), listed.end(), newestFirst);
        listed.resize(limit);
        ranking.floor = candidates[listed.back()].newest;
        return std::optional<Ranking>(std::move(ranking));
    }
    std::sort(listed.begin(), listed.end(), newestFirst);
    if (edge < from)
        return std::optional<Ranking>();

    std::vector<std::size_t> byName(candidates.size());
    for (std::size_t i = 0; i < byName.size(); ++i)
        byName[i] = i;
    const std::size_t lookedAt = std::min(byName.size(), namesLookedAtPerRow * limit);
    std::partial_sort(byName.begin(), byName.begin() + static_cast<std::ptrdiff_t>(lookedAt), byName.end(),
                      [&candidates](std::size_t a, std::size_t b) { return candidates[a].name < candidates[b].name; });
    std::unordered_map<std::int64_t, std::int64_t> latestOf; // by server id
    std::vector<std::pair<std::int64_t, std::int64_t>> sessions; // (server id, end, or -1 going on)
    for (std::size_t k = 0; k < lookedAt && listed.size() < limit; ++k) {
        if (isAbove[byName[k]])
            continue;
        Candidate &candidate = candidates[byName[k]];
        sessions.clear();
        auto found = m_connection.eachRow(m_sessionsOfName.bind(1, candidate.id), reading, [&sessions](const sqlite::Statement &row) {
            sessions.emplace_back(row.integer(0), row.isNull(1) ? -1 : row.integer(1));
        });
        if (!found.ok())
            return found.fault();
        for (auto [serverId, seen] : sessions) {
            if (seen < 0) {
                const auto slot = latestOf.try_emplace(serverId, 0);
                std::int64_t &latest = slot.first->second;
                if (slot.second) {
                    auto server = m_connection.eachRow(m_latestOf.bind(1, serverId), reading,
                                                       [&latest](const sqlite::Statement &row) { latest = row.integer(0); });
                    if (!server.ok())
                        return server.fault();
                }
                seen = latest;
            }
            ranking.current.push_back({byName[k], serverId, seen});
            candidate.newest = std::max(candidate.newest, seen);
        }
        if (candidate.newest == edge)
            listed.push_back(byName[k]);
    }
    if (listed.size() < limit)
        return std::optional<Ranking>();
    ranking.floor = edge;
    return std::optional<Ranking>(std::move(ranking));
}

// Every name that holds the text, ranked by its latest time.
Expected<SqliteSearch::Ranking> SqliteSearch::rankAll(const std::string &folded, bool indexed, std::int64_t from, std::size_t limit)
{
    Ranking ranking;
    std::vector<Candidate> &candidates = ranking.candidates;
    sqlite::Statement &names = indexed ? m_sessionsHolding.bind(1, phrase(folded)) : m_sessionsContaining.bind(1, folded);
    std::unordered_map<std::int64_t, std::size_t> candidateOf; // by name id
    bool going = false; // a session goes on: it ends with its server's latest sample
    auto matched = m_connection.eachRow(names, reading, [&](const sqlite::Statement &row) {
        const auto [entry, added] = candidateOf.try_emplace(row.integer(0), candidates.size());
        if (added)
            candidates.push_back({row.integer(0), row.text(1), row.integer(2)});
        if (!row.isNull(3)) {
            ranking.current.push_back({entry->second, row.integer(3), row.isNull(4) ? -1 : row.integer(4)});
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
    for (Row &row : ranking.current) {
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
    std::vector<std::size_t> &listed = ranking.listed;
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
    ranking.floor = !listed.empty() && listed.size() == limit ? candidates[listed.back()].newest : from;
    return ranking;
}

}
