#include "history/schema.h"

#include "history/casefold.h"

#include <sqlite3.h>

#include <string>
#include <utility>

namespace history::schema {

namespace {

constexpr const char *operation = "Cannot prepare the history file";

// Servers and maps are kept once and referred to by number, and the samples
// are clustered by server and time: a day of one server is a single range.
constexpr const char *createVersion2 = R"sql(
CREATE TABLE servers(
    id INTEGER PRIMARY KEY,
    address TEXT NOT NULL,
    query_port INTEGER NOT NULL,
    last_lookup INTEGER,
    UNIQUE(address, query_port));
CREATE INDEX servers_by_lookup ON servers(last_lookup);
CREATE TABLE maps(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    last_seen INTEGER NOT NULL);
CREATE TABLE samples(
    server_id INTEGER NOT NULL,
    t INTEGER NOT NULL,
    players INTEGER NOT NULL,
    bots INTEGER NOT NULL,
    map_id INTEGER,
    PRIMARY KEY(server_id, t)) WITHOUT ROWID;
)sql";

// Version 1 kept every sample with its address and map spelled out, and the
// lookups in a table of their own.
constexpr const char *upgradeFrom1 = R"sql(
INSERT INTO servers(address, query_port, last_lookup)
    SELECT address, query_port, MAX(lookup) FROM (
        SELECT address, query_port, NULL AS lookup FROM samples
        UNION ALL
        SELECT address, query_port, t FROM lookups)
    GROUP BY address, query_port;
INSERT INTO maps(name, last_seen)
    SELECT map, MAX(t) FROM samples WHERE map IS NOT NULL GROUP BY map;
INSERT OR REPLACE INTO samples_new(server_id, t, players, bots, map_id)
    SELECT servers.id, samples.t, samples.players, samples.bots, maps.id
    FROM samples
    JOIN servers ON servers.address = samples.address AND servers.query_port = samples.query_port
    LEFT JOIN maps ON maps.name = samples.map;
DROP TABLE samples;
DROP TABLE lookups;
ALTER TABLE samples_new RENAME TO samples;
)sql";

// Version 3 keeps each server's own name, and the players' names once each,
// with the sessions in which a name was on a server. A session's primary
// key finds the latest one of a name on a server; the indexes by server and
// by name hold every column a page or a search reads.
constexpr const char *upgradeFrom2 = R"sql(
ALTER TABLE servers ADD COLUMN name TEXT;
CREATE TABLE names(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    folded TEXT NOT NULL);
CREATE TABLE sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    PRIMARY KEY(server_id, name_id, first_seen)) WITHOUT ROWID;
CREATE INDEX sessions_by_server ON sessions(server_id, last_seen);
CREATE INDEX sessions_by_name ON sessions(name_id, last_seen);
)sql";

// Version 4 keeps the sessions still going (the names in their server's
// latest sample) apart, without an end of their own: it is that sample's
// time. A poll round then writes only the names that came or went, not
// every name it saw. Ended sessions are keyed for the status page (by
// server and end) and indexed for the search (by name); those ended since
// the latest prune wait in a small table of the same shape, whose few pages
// every round writes again, and go over to the large one in a batch, so
// that a round does not write a page of the large one per server and name.
constexpr const char *upgradeFrom3 = R"sql(
CREATE TABLE open_sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    PRIMARY KEY(server_id, name_id)) WITHOUT ROWID;
CREATE INDEX open_sessions_by_name ON open_sessions(name_id);
INSERT OR IGNORE INTO open_sessions(server_id, name_id, first_seen)
    SELECT server_id, name_id, first_seen FROM sessions s
    WHERE last_seen = (SELECT max(t) FROM samples WHERE server_id = s.server_id);
CREATE TABLE ended_sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    PRIMARY KEY(server_id, last_seen, name_id, first_seen)) WITHOUT ROWID;
INSERT INTO ended_sessions(server_id, name_id, first_seen, last_seen)
    SELECT server_id, name_id, first_seen, last_seen FROM sessions s
    WHERE NOT EXISTS (SELECT 1 FROM open_sessions o
                      WHERE o.server_id = s.server_id AND o.name_id = s.name_id AND o.first_seen = s.first_seen);
DROP TABLE sessions;
ALTER TABLE ended_sessions RENAME TO sessions;
CREATE INDEX sessions_by_name ON sessions(name_id, last_seen);
CREATE TABLE recent_sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    PRIMARY KEY(server_id, last_seen, name_id, first_seen)) WITHOUT ROWID;
CREATE INDEX recent_sessions_by_name ON recent_sessions(name_id, last_seen);
)sql";

// Version 5 keeps how the latest lookup of a server named it, so that it is
// listed so after a restart too. The sessions going on and those ended since
// the latest prune share one small table, a session going on without an
// end: a session ends, or goes on again, by writing its end in place, in a
// row and not in its index by name. Each name keeps the end of its latest
// session in the large table, so that the player search reads that from
// the name's own row rather than from the sessions; the prune that moves the
// ended ones over brings it up to date.
constexpr const char *upgradeFrom4 = R"sql(
ALTER TABLE servers ADD COLUMN asked_address TEXT;
ALTER TABLE servers ADD COLUMN asked_port INTEGER;
ALTER TABLE servers ADD COLUMN web_port INTEGER;
CREATE TABLE current_sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER,
    PRIMARY KEY(server_id, name_id, first_seen)) WITHOUT ROWID;
CREATE INDEX current_sessions_by_name ON current_sessions(name_id);
INSERT OR IGNORE INTO current_sessions(server_id, name_id, first_seen, last_seen)
    SELECT server_id, name_id, first_seen, NULL FROM open_sessions
    UNION ALL SELECT server_id, name_id, first_seen, last_seen FROM recent_sessions;
DROP TABLE open_sessions;
DROP TABLE recent_sessions;
ALTER TABLE names ADD COLUMN last_ended INTEGER NOT NULL DEFAULT 0;
UPDATE names SET last_ended = coalesce((SELECT max(last_seen) FROM sessions WHERE name_id = names.id), 0);
)sql";

// Version 6 keeps each server's latest sample time in its row, as the
// samples give it: a session going on ends there, so the player search
// reads it for every server, which would otherwise read a page of samples
// for each.
constexpr const char *upgradeFrom5 = R"sql(
ALTER TABLE servers ADD COLUMN latest INTEGER;
UPDATE servers SET latest = (SELECT max(t) FROM samples WHERE server_id = servers.id);
)sql";

// Version 7 counts the writes that change rows other than those of a
// server's newer sample: a prune, and an answer older than its server's
// latest or of the same second. A reader that keeps the names and the
// small table in memory reads again only the new names and the sessions of
// the servers whose latest sample moved, while the count stays. Nothing
// looks up the small table by name any more: its index goes, and with it a
// write per session begun.
constexpr const char *upgradeFrom6 = R"sql(
CREATE TABLE edits(count INTEGER NOT NULL);
INSERT INTO edits(count) VALUES(0);
DROP INDEX current_sessions_by_name;
)sql";

// Version 8 finds names through a trigram index of their folded forms, so
// that a search reads the names that hold its text rather than every name.
// The folded forms are made again first, as today's folding makes them:
// older versions folded ASCII letters alone. The index keeps no copy of
// the names (it reads them from their table), and triggers keep it in step
// with the table whoever adds or drops a name; the trigram tokenizer is
// told not to fold case, the folded form being folded already.
constexpr const char *upgradeFrom7 = R"sql(
UPDATE names SET folded = skirvane_fold(name);
CREATE VIRTUAL TABLE names_text USING fts5(folded, content = 'names', content_rowid = 'id',
                                           tokenize = 'trigram case_sensitive 1');
INSERT INTO names_text(names_text) VALUES('rebuild');
CREATE TRIGGER names_text_added AFTER INSERT ON names BEGIN
    INSERT INTO names_text(rowid, folded) VALUES(new.id, new.folded);
END;
CREATE TRIGGER names_text_dropped AFTER DELETE ON names BEGIN
    INSERT INTO names_text(names_text, rowid, folded) VALUES('delete', old.id, old.folded);
END;
UPDATE edits SET count = count + 1;
)sql";

// Version 9 finds the sessions of a name in the small table through an
// index by name again: with ten thousand servers the table holds a quarter
// of a million rows, too many for a player's page to read whole. Each
// session begun writes an entry of it, in a table of some thousand pages.
// The player search looks up its names' sessions through it too, and keeps
// nothing of the file between searches: nothing counts the edits any more.
constexpr const char *upgradeFrom8 = R"sql(
CREATE INDEX current_sessions_by_name ON current_sessions(name_id);
)sql";

// Version 10 keeps each entry's end in that index: a search reads a session
// of every name that holds its text, tens of thousands for three letters at
// ten thousand servers, and finds the end there rather than in the table.
constexpr const char *upgradeFrom9 = R"sql(
DROP INDEX current_sessions_by_name;
CREATE INDEX current_sessions_by_name ON current_sessions(name_id, last_seen);
)sql";

// The folding of the store's own names, for the upgrade that folds them again.
void foldFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    const std::string folded = foldCase(text ? std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])))
                                             : std::string_view());
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

std::string createVersion2Beside()
{
    // Version 1's samples table has the same name; the new one is made
    // beside it and takes its name once filled.
    std::string sql = createVersion2;
    sql.replace(sql.find("CREATE TABLE samples("), 21, "CREATE TABLE samples_new(");
    return sql;
}

Fault newerFault(const sqlite::Connection &connection, std::int64_t version)
{
    return {FaultKind::newerSchema,
            "Cannot use the history file " + connection.path().string() + ": it was written by a newer version of the program (layout "
                + std::to_string(version) + "; this one knows up to " + std::to_string(currentVersion)
                + "). It is left as it is."};
}

Fault foreignFault(const sqlite::Connection &connection)
{
    return {FaultKind::other,
            "Cannot use the history file " + connection.path().string()
                + ": it is a database of another program, not player history. It is left as it is."};
}

Expected<Done> createOrUpgrade(sqlite::Connection &connection)
{
    sqlite::Transaction transaction(connection);
    if (auto done = transaction.begin(operation); !done.ok())
        return done;
    // Another process may have done it while we waited for the lock.
    auto version = connection.integer("PRAGMA user_version", operation);
    if (!version)
        return version.fault();
    if (*version == currentVersion)
        return Done{};
    if (*version > currentVersion)
        return newerFault(connection, *version);
    auto tables = connection.integer("SELECT count(*) FROM sqlite_schema", operation);
    if (!tables)
        return tables.fault();
    if (const int code = sqlite3_create_function_v2(connection.handle(), "skirvane_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                    nullptr, foldFunction, nullptr, nullptr, nullptr);
        code != SQLITE_OK)
        return connection.fault(code, operation);
    std::string sql;
    // Each layout's steps from there on, in turn.
    if (*version == 0 && *tables == 0)
        sql = createVersion2;
    else if (*version == 1)
        sql = createVersion2Beside() + upgradeFrom1;
    else if (*version < 2)
        return foreignFault(connection);
    static constexpr std::pair<int, const char *> steps[] = {
        {2, upgradeFrom2}, {3, upgradeFrom3}, {4, upgradeFrom4}, {5, upgradeFrom5}, {6, upgradeFrom6}, {7, upgradeFrom7}, {8, upgradeFrom8}, {9, upgradeFrom9}};
    for (const auto &[from, step] : steps)
        if (*version <= from)
            sql += step;
    sql += "PRAGMA application_id = " + std::to_string(applicationId) + ";\n";
    sql += "PRAGMA user_version = " + std::to_string(currentVersion) + ";\n";
    if (auto done = connection.exec(sql.c_str(), operation); !done.ok())
        return done;
    return transaction.commit(operation);
}

Expected<Done> useWriteAheadLog(sqlite::Connection &connection)
{
    auto mode = connection.prepare("PRAGMA journal_mode = WAL", operation);
    if (!mode)
        return mode.fault();
    if (const int code = mode->step(); code != SQLITE_ROW)
        return connection.fault(code, operation);
    if (mode->text(0) != "wal")
        return Fault{FaultKind::other,
                     "Cannot use the history file " + connection.path().string() + ": its folder does not allow the write-ahead log"};
    return Done{};
}

}

Expected<Done> prepare(sqlite::Connection &connection)
{
    // Reading the header is the first touch of the file: a file that is not
    // a database, or a damaged one, shows here, before anything is written.
    auto version = connection.integer("PRAGMA user_version", operation);
    if (!version)
        return version.fault();
    auto id = connection.integer("PRAGMA application_id", operation);
    if (!id)
        return id.fault();
    if (*version > currentVersion)
        return newerFault(connection, *version);
    if (*id != 0 && *id != applicationId)
        return foreignFault(connection);
    if (*version == 0) {
        auto tables = connection.integer("SELECT count(*) FROM sqlite_schema", operation);
        if (!tables)
            return tables.fault();
        if (*tables > 0)
            return foreignFault(connection);
    }
    if (connection.readOnly())
        return Fault{FaultKind::readOnly,
                     "Cannot record player history in " + connection.path().string() + ": the file may not be written"};
    // WAL lets pages read while another connection writes; NORMAL
    // synchronisation loses no committed row when the process is killed,
    // only (at worst) the last ones at a power cut.
    if (auto done = useWriteAheadLog(connection); !done.ok())
        return done;
    // A poll round touches one leaf page per server; the cache holds those
    // of some thousands of servers (16 MiB) rather than SQLite's 2 MiB.
    if (auto done = connection.exec("PRAGMA synchronous = NORMAL; PRAGMA cache_size = -16384;",
                                    operation);
        !done.ok())
        return done;
    if (*version == currentVersion)
        return Done{};
    return createOrUpgrade(connection);
}

}
