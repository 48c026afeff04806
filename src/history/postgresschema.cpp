#include "history/postgresschema.h"

#include "history/casefold.h"
#include "history/postgrespartitions.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace history::postgres::schema {

namespace {

constexpr std::string_view operation = "Cannot prepare the history database";

// The same tables as the history file's, in PostgreSQL's types. The version
// is a row of its own: PostgreSQL has no user_version.
constexpr const char *createVersion1 = R"sql(
CREATE TABLE skirvane_history(version integer NOT NULL);
CREATE TABLE servers(
    id bigserial PRIMARY KEY,
    address text NOT NULL,
    query_port integer NOT NULL,
    last_lookup bigint,
    name text,
    UNIQUE(address, query_port));
CREATE INDEX servers_by_lookup ON servers(last_lookup);
CREATE TABLE maps(
    id bigserial PRIMARY KEY,
    name text NOT NULL UNIQUE,
    last_seen bigint NOT NULL);
CREATE TABLE samples(
    server_id bigint NOT NULL,
    t bigint NOT NULL,
    players integer NOT NULL,
    bots integer NOT NULL,
    map_id bigint,
    PRIMARY KEY(server_id, t));
CREATE TABLE names(
    id bigserial PRIMARY KEY,
    name text NOT NULL UNIQUE,
    folded text NOT NULL);
CREATE TABLE sessions(
    server_id bigint NOT NULL,
    name_id bigint NOT NULL,
    first_seen bigint NOT NULL,
    last_seen bigint NOT NULL,
    PRIMARY KEY(server_id, name_id, first_seen));
CREATE INDEX sessions_by_server ON sessions(server_id, last_seen);
CREATE INDEX sessions_by_name ON sessions(name_id, last_seen);
INSERT INTO skirvane_history(version) VALUES(1);
)sql";

// Version 2 keeps each server's latest sample time and how its latest
// lookup named it with the server, and the sessions still going (the
// names in their server's latest sample) apart, without an end of their own: it is that sample's time. A poll
// round then writes only the names that came or went, rather than a new
// version of every session it saw, with an entry in each of the sessions'
// indexes. The servers' rows change every round: room on their pages lets
// each change stay on its page, without new index entries. An ended
// session is found by its server and end; it is written once, when it
// leaves open_sessions, so its key needs no index of its own. The sessions
// going on are as many as the players on the servers now: a search reads
// them whole rather than keep an index by name up to date every round.
constexpr const char *upgradeFrom1 = R"sql(
ALTER TABLE sessions DROP CONSTRAINT sessions_pkey;
ALTER TABLE servers ADD COLUMN latest bigint;
ALTER TABLE servers ADD COLUMN asked_address text, ADD COLUMN asked_port integer, ADD COLUMN web_port integer;
ALTER TABLE servers SET (fillfactor = 50);
UPDATE servers SET latest = (SELECT max(t) FROM samples WHERE server_id = servers.id);
CREATE TABLE open_sessions(
    server_id bigint NOT NULL,
    name_id bigint NOT NULL,
    first_seen bigint NOT NULL,
    PRIMARY KEY(server_id, name_id));
INSERT INTO open_sessions(server_id, name_id, first_seen)
    SELECT server_id, name_id, max(first_seen) FROM sessions s
    WHERE last_seen = (SELECT latest FROM servers WHERE id = s.server_id)
    GROUP BY server_id, name_id;
DELETE FROM sessions s USING open_sessions o
    WHERE s.server_id = o.server_id AND s.name_id = o.name_id AND s.first_seen = o.first_seen;
UPDATE skirvane_history SET version = 2;
)sql";

// Version 3 keeps the samples and the ended sessions in one partition a
// day, so that a prune drops whole days; the tables of version 2 are
// copied into the new ones and dropped. Each name keeps the end of its
// latest ended session, which a trigger brings up to date whatever writes
// a session, so that the search ranks names without reading each name's
// sessions in every day's partition. The names' folded forms are made
// again as today's folding makes them (older versions folded ASCII letters
// alone), and a trigram index of them finds the names that hold a text.
constexpr const char *upgradeFrom2 = R"sql(
ALTER TABLE names ADD COLUMN last_ended bigint NOT NULL DEFAULT 0;
ALTER TABLE samples RENAME TO samples_v2;
ALTER INDEX samples_pkey RENAME TO samples_v2_pkey;
ALTER TABLE sessions RENAME TO sessions_v2;
ALTER INDEX sessions_by_server RENAME TO sessions_v2_by_server;
ALTER INDEX sessions_by_name RENAME TO sessions_v2_by_name;
CREATE TABLE samples(
    server_id bigint NOT NULL,
    t bigint NOT NULL,
    players integer NOT NULL,
    bots integer NOT NULL,
    map_id bigint,
    PRIMARY KEY(server_id, t)) PARTITION BY RANGE (t);
CREATE TABLE sessions(
    server_id bigint NOT NULL,
    name_id bigint NOT NULL,
    first_seen bigint NOT NULL,
    last_seen bigint NOT NULL) PARTITION BY RANGE (last_seen);
CREATE INDEX sessions_by_server ON sessions(server_id, last_seen);
CREATE INDEX sessions_by_name ON sessions(name_id, last_seen);
CREATE FUNCTION skirvane_sessions_ended() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    UPDATE names n SET last_ended = e.last_seen
    FROM (SELECT name_id, max(last_seen) AS last_seen FROM ended GROUP BY name_id) e
    WHERE n.id = e.name_id AND n.last_ended < e.last_seen;
    RETURN NULL;
END $$;
CREATE TRIGGER sessions_ended AFTER INSERT ON sessions
    REFERENCING NEW TABLE AS ended FOR EACH STATEMENT EXECUTE FUNCTION skirvane_sessions_ended();
CREATE TRIGGER sessions_extended AFTER UPDATE ON sessions
    REFERENCING NEW TABLE AS ended FOR EACH STATEMENT EXECUTE FUNCTION skirvane_sessions_ended();
)sql";

constexpr const char *copyFrom2 = R"sql(
INSERT INTO samples SELECT * FROM samples_v2;
INSERT INTO sessions SELECT * FROM sessions_v2;
DROP TABLE samples_v2, sessions_v2;
UPDATE skirvane_history SET version = 3;
)sql";

// Version 4 finds the sessions going on of a name through an index by
// name: with ten thousand servers they are some hundred and fifty
// thousand, too many for a player's page or a search to read whole. Each
// session begun writes an entry, some tens of thousands a round.
constexpr const char *upgradeFrom3 = R"sql(
CREATE INDEX open_sessions_by_name ON open_sessions(name_id);
UPDATE skirvane_history SET version = 4;
)sql";

// Version 5: the search reads a name's ended sessions with their servers
// from the index by name alone. Everyone who plays for hours has a session
// every poll gap or so, and reading each from its table's page was most of
// a search for a text that few names hold.
constexpr const char *upgradeFrom4 = R"sql(
CREATE INDEX sessions_by_name_with_server ON sessions(name_id, last_seen) INCLUDE (server_id);
DROP INDEX sessions_by_name;
ALTER INDEX sessions_by_name_with_server RENAME TO sessions_by_name;
UPDATE skirvane_history SET version = 5;
)sql";

// Version 6 reads a server's samples over a day or a week (its status
// page's chart and busiest hours, the start page's lines) from the index of
// their key alone, which holds their counts now: each round writes every
// server's sample, so a server's samples of a day lie on as many of the
// day's table pages. The days' partitions are vacuumed often enough for
// the index to serve alone (see DayPartitions::storage).
std::string upgradeFrom5()
{
    return std::string(R"sql(
ALTER TABLE samples DROP CONSTRAINT samples_pkey;
ALTER TABLE samples ADD PRIMARY KEY (server_id, t) INCLUDE (players, bots);
DO $$
DECLARE day regclass;
BEGIN
    FOR day IN SELECT inhrelid::regclass FROM pg_inherits WHERE inhparent IN ('samples'::regclass, 'sessions'::regclass) LOOP
        EXECUTE format('ALTER TABLE %s SET ()sql")
           + DayPartitions::storage + R"sql()', day);
    END LOOP;
END $$;
UPDATE skirvane_history SET version = 6;
)sql";
}

std::string where(const Connection &connection)
{
    return "Cannot use the history database " + connection.printableUri();
}

Expected<Done> foldNamesAgain(Connection &connection)
{
    auto rows = connection.query("SELECT id, name FROM names", operation);
    if (!rows)
        return rows.fault();
    std::vector<std::int64_t> ids;
    std::vector<std::string> folded;
    for (int row = 0; row < rows->rows(); ++row) {
        ids.push_back(rows->integer(row, 0));
        folded.push_back(foldCase(rows->text(row, 1)));
    }
    return connection.exec("UPDATE names SET folded = f.folded FROM unnest($1::bigint[], $2::text[]) AS f(id, folded) "
                           "WHERE names.id = f.id AND names.folded <> f.folded",
                           operation, Parameters().addArray(ids).addArray(folded));
}

Expected<Done> partitionByDay(Connection &connection)
{
    if (auto done = connection.script(upgradeFrom2, operation); !done.ok())
        return done;
    auto days = connection.query("SELECT DISTINCT floor(t / 86400.0)::bigint FROM "
                                 "(SELECT t FROM samples_v2 UNION SELECT last_seen FROM sessions_v2) AS times",
                                 operation);
    if (!days)
        return days.fault();
    for (int row = 0; row < days->rows(); ++row)
        if (auto made = DayPartitions::make(connection, days->integer(row, 0), operation); !made.ok())
            return made;
    return connection.script(copyFrom2, operation);
}

// The trigram index needs the pg_trgm extension, which PostgreSQL ships but
// which only a role allowed to create in the database may add. Without it
// the search reads every name, as older versions did, and says why once.
Expected<Done> indexNames(Connection &connection)
{
    if (auto done = connection.exec("SAVEPOINT trigrams", operation); !done.ok())
        return done;
    auto made = connection.script("CREATE EXTENSION IF NOT EXISTS pg_trgm; "
                                  "CREATE INDEX names_by_text ON names USING gin (folded gin_trgm_ops)",
                                  operation);
    if (made.ok())
        return connection.exec("RELEASE SAVEPOINT trigrams", operation);
    static std::atomic_bool told = false;
    if (!told.exchange(true))
        std::fprintf(stderr, "%s; the player search reads every name until the extension pg_trgm is added to the database "
                             "(CREATE EXTENSION pg_trgm, by its owner or a superuser)\n",
                     made.fault().message.c_str());
    return connection.exec("ROLLBACK TO SAVEPOINT trigrams", operation);
}

}

Expected<Done> prepare(Connection &connection)
{
    Transaction transaction(connection);
    if (auto done = transaction.begin(operation); !done.ok())
        return done;
    if (auto done = connection.exec("SELECT pg_advisory_xact_lock($1)", operation, Parameters().add(schemaLockKey)); !done.ok())
        return done;
    auto tables = connection.query("SELECT count(*) FILTER (WHERE tablename = 'skirvane_history'), count(*) FROM pg_tables "
                                  "WHERE schemaname = current_schema()",
                                  operation);
    if (!tables)
        return tables.fault();
    int version = 0;
    if (tables->integer(0, 0) == 1) {
        auto row = connection.query("SELECT max(version) FROM skirvane_history", operation);
        if (!row)
            return row.fault();
        version = static_cast<int>(row->integer(0, 0));
    } else if (tables->integer(0, 1) > 0) {
        return Fault{FaultKind::other, where(connection) + ": it holds tables of another program, not player history. It is left as it is."};
    }
    if (version == currentVersion) {
        auto indexed = connection.query("SELECT to_regclass('names_by_text') IS NOT NULL", operation);
        if (!indexed)
            return indexed.fault();
        if (indexed->text(0, 0) == "t")
            return Done{};
        if (auto done = indexNames(connection); !done.ok())
            return done;
        return transaction.commit(operation);
    }
    if (version > currentVersion)
        return Fault{FaultKind::newerSchema,
                     where(connection) + ": it was written by a newer version of the program (layout " + std::to_string(version)
                         + "; this one knows up to " + std::to_string(currentVersion) + "). It is left as it is."};
    // A new database goes through every layout's steps, as an old one does.
    if (version < 2) {
        const std::string steps = std::string(version == 0 ? createVersion1 : "") + upgradeFrom1;
        if (auto done = connection.script(steps.c_str(), operation); !done.ok())
            return done;
    }
    if (version < 3)
        for (const auto step : {foldNamesAgain, partitionByDay, indexNames})
            if (auto done = step(connection); !done.ok())
                return done;
    if (version < 4)
        if (auto done = connection.script(upgradeFrom3, operation); !done.ok())
            return done;
    if (version < 5)
        if (auto done = connection.script(upgradeFrom4, operation); !done.ok())
            return done;
    if (auto done = connection.script(upgradeFrom5().c_str(), operation); !done.ok())
        return done;
    return transaction.commit(operation);
}

}
