#include "history/postgresschema.h"

#include <string>

namespace history::postgres::schema {

namespace {

constexpr std::string_view operation = "Cannot prepare the history database";
// Held for the transaction that makes or upgrades the tables.
constexpr std::int64_t schemaLockKey = 0x536b727600000002;

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

std::string where(const Connection &connection)
{
    return "Cannot use the history database " + connection.printableUri();
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
    if (version == currentVersion)
        return Done{};
    if (version > currentVersion)
        return Fault{FaultKind::newerSchema,
                     where(connection) + ": it was written by a newer version of the program (layout " + std::to_string(version)
                         + "; this one knows up to " + std::to_string(currentVersion) + "). It is left as it is."};
    // A new database goes through every layout's steps, as an old one does.
    const std::string steps = std::string(version == 0 ? createVersion1 : "") + upgradeFrom1;
    if (auto done = connection.script(steps.c_str(), operation); !done.ok())
        return done;
    return transaction.commit(operation);
}

}
