#include "history/backend.h"
#include "history/sqlitestore.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

namespace history {

using namespace backend;

namespace {

struct Candidate
{
    std::int64_t id = 0;
    std::string name;
    std::int64_t newest = 0; // the end of its latest session anywhere
};

// Runs a bound query to its end, handing each row to `take`.
template<typename Take>
Expected<Done> eachRow(sqlite::Connection &connection, sqlite::Statement &query, Take take)
{
    int code;
    while ((code = query.step()) == SQLITE_ROW)
        take(query);
    if (code != SQLITE_DONE)
        return connection.fault(code, reading);
    return Done{};
}

// Ends a read of several statements, which see the file as the first saw it.
class ReadSnapshot final
{
public:
    explicit ReadSnapshot(sqlite::Connection &connection) : m_connection(connection) {}
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;
    ~ReadSnapshot()
    {
        if (m_open)
            (void)m_connection.exec("ROLLBACK", reading);
    }
    Expected<Done> begin()
    {
        auto begun = m_connection.exec("BEGIN", reading);
        m_open = begun.ok();
        return begun;
    }

private:
    sqlite::Connection &m_connection;
    bool m_open = false;
};

}

Expected<const SqliteStore::SearchSnapshot *> SqliteStore::searchSnapshot()
{
    // Within the read, the version is that of what the read sees.
    auto version = m_connection.integer("PRAGMA data_version", reading);
    if (!version)
        return version.fault();
    if (*version == m_search.dataVersion)
        return &m_search;
    m_search = {};
    auto servers = m_connection.prepare("SELECT id, latest FROM servers", reading);
    if (!servers)
        return servers.fault();
    auto done = eachRow(m_connection, *servers, [this](const sqlite::Statement &row) {
        m_search.latest.emplace(row.integer(0), row.isNull(1) ? 0 : row.integer(1));
    });
    if (!done.ok())
        return done.fault();
    auto sessions = m_connection.prepare("SELECT name_id, server_id, last_seen FROM current_sessions", reading);
    if (!sessions)
        return sessions.fault();
    done = eachRow(m_connection, *sessions, [this](const sqlite::Statement &row) {
        const std::int64_t serverId = row.integer(1);
        const auto latest = m_search.latest.find(serverId);
        const std::int64_t seen = !row.isNull(2) ? row.integer(2) : latest != m_search.latest.end() ? latest->second : 0;
        m_search.current.push_back({row.integer(0), serverId, seen});
    });
    if (!done.ok()) {
        m_search = {};
        return done.fault();
    }
    std::sort(m_search.current.begin(), m_search.current.end(),
              [](const CurrentSession &a, const CurrentSession &b) { return a.nameId < b.nameId; });
    m_search.dataVersion = *version;
    return &m_search;
}

Expected<std::vector<PlayerMatch>> SqliteStore::searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                              std::size_t limit)
{
    // Planned here rather than left to one statement: a short text matches
    // thousands of names, and what makes a name's row late (a session going
    // on ends with its server's latest sample) would cost the file a lookup
    // per name and session. The small tables are read once per change of the
    // file, and only the sessions of the names that can make the list are
    // looked up in the large one.
    ReadSnapshot read(m_connection);
    if (auto begun = read.begin(); !begun.ok())
        return begun.fault();
    auto snapshot = searchSnapshot();
    if (!snapshot)
        return snapshot.fault();
    const SearchSnapshot &small = **snapshot;
    const auto sessionsOf = [&small](std::int64_t nameId) {
        return std::equal_range(small.current.begin(), small.current.end(), CurrentSession{nameId},
                                [](const CurrentSession &a, const CurrentSession &b) { return a.nameId < b.nameId; });
    };

    const std::int64_t from = seconds(since);
    std::vector<Candidate> candidates;
    // instr() compares bytes: no character of the text is a wildcard.
    auto names = m_connection.prepare("SELECT id, name, last_ended FROM names WHERE instr(folded, ?1) > 0", reading);
    if (!names)
        return names.fault();
    names->bind(1, foldCase(text));
    auto done = eachRow(m_connection, *names, [&](const sqlite::Statement &row) {
        std::int64_t newest = row.integer(2);
        const auto [first, last] = sessionsOf(row.integer(0));
        for (auto session = first; session != last; ++session)
            newest = std::max(newest, session->seen);
        if (newest >= from)
            candidates.push_back({row.integer(0), row.text(1), newest});
    });
    if (!done.ok())
        return done.fault();

    // Each name gives a row at its newest time, so the rows come from the
    // `limit` names seen latest (by name among those seen at once, as the
    // rows are), and no row of theirs older than the last of them can make
    // the list.
    const std::size_t kept = std::min(limit, candidates.size());
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(kept), candidates.end(),
                      [](const Candidate &x, const Candidate &y) {
                          return x.newest != y.newest ? x.newest > y.newest : x.name < y.name;
                      });
    candidates.resize(kept);
    if (candidates.empty())
        return std::vector<PlayerMatch>{};
    const std::int64_t floor = candidates.size() == limit ? candidates.back().newest : from;

    std::map<std::pair<std::size_t, std::int64_t>, std::int64_t> latestBy; // (candidate, server): its latest time
    const auto add = [&](std::size_t candidate, std::int64_t serverId, std::int64_t seen) {
        if (seen >= from) {
            auto &time = latestBy[{candidate, serverId}];
            time = std::max(time, seen);
        }
    };
    auto ended = m_connection.prepare("SELECT server_id, max(last_seen) FROM sessions "
                                      "WHERE name_id = ?1 AND last_seen >= ?2 GROUP BY server_id",
                                      reading);
    if (!ended)
        return ended.fault();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto [first, last] = sessionsOf(candidates[i].id);
        for (auto session = first; session != last; ++session)
            add(i, session->serverId, session->seen);
        ended->bind(1, candidates[i].id).bind(2, floor);
        done = eachRow(m_connection, *ended, [&](const sqlite::Statement &row) { add(i, row.integer(0), row.integer(1)); });
        ended->reset();
        if (!done.ok())
            return done.fault();
    }

    struct Row
    {
        std::size_t candidate;
        std::int64_t serverId;
        std::int64_t seen;
    };
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

    auto server = m_connection.prepare("SELECT address, query_port, coalesce(name, '') FROM servers WHERE id = ?1", reading);
    if (!server)
        return server.fault();
    std::vector<PlayerMatch> matches;
    matches.reserve(rows.size());
    for (const Row &row : rows) {
        server->bind(1, row.serverId);
        const int code = server->step();
        if (code == SQLITE_ROW) {
            const auto latest = small.latest.find(row.serverId);
            const bool online = latest != small.latest.end() && row.seen == latest->second && at(latest->second) >= onlineSince;
            matches.push_back({candidates[row.candidate].name, online, at(row.seen),
                               {server->text(0), static_cast<std::uint16_t>(server->integer(1))}, server->text(2)});
        }
        server->reset();
        if (code != SQLITE_ROW && code != SQLITE_DONE)
            return m_connection.fault(code, reading);
    }
    return matches;
}

}
