-- The layout of history files written by version 7 of the store, with the
-- rows of history-v5.sql and a name that the version folded in ASCII alone,
-- to test the upgrade. Made with:
--   sqlite3 history-v7.sqlite3 < history-v7.sql
PRAGMA application_id = 1399550582;
CREATE TABLE servers(
    id INTEGER PRIMARY KEY,
    address TEXT NOT NULL,
    query_port INTEGER NOT NULL,
    last_lookup INTEGER, name TEXT, asked_address TEXT, asked_port INTEGER, web_port INTEGER, latest INTEGER,
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
CREATE TABLE names(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    folded TEXT NOT NULL, last_ended INTEGER NOT NULL DEFAULT 0);
CREATE TABLE sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    PRIMARY KEY(server_id, last_seen, name_id, first_seen)) WITHOUT ROWID;
CREATE INDEX sessions_by_name ON sessions(name_id, last_seen);
CREATE TABLE current_sessions(
    server_id INTEGER NOT NULL,
    name_id INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER,
    PRIMARY KEY(server_id, name_id, first_seen)) WITHOUT ROWID;
CREATE TABLE edits(count INTEGER NOT NULL);
-- 2026-12-01 20:00:00 UTC is 1796155200. Ann is on both servers in their
-- latest samples; Bob left the first one, Ünïcødé the other.
INSERT INTO servers VALUES
    (1, '192.0.2.10', 6500, 1796156000, 'Deck Night', NULL, NULL, NULL, 1796155800),
    (2, 'ut3.example.net', 6600, NULL, 'Other Place', NULL, NULL, NULL, 1796155200);
INSERT INTO maps VALUES (1, 'DM-Deck', 1796155800);
INSERT INTO samples VALUES
    (1, 1796155200, 2, 0, 1),
    (1, 1796155500, 2, 0, 1),
    (1, 1796155800, 1, 0, 1),
    (2, 1796155200, 1, 0, NULL);
INSERT INTO names VALUES (1, 'Ann', 'ann', 0), (2, 'Bob', 'bob', 1796155500),
    (3, 'Ünïcødé', 'Ünïcødé', 1796154900);
INSERT INTO sessions VALUES (1, 2, 1796155200, 1796155500), (2, 3, 1796154900, 1796154900);
INSERT INTO current_sessions VALUES
    (1, 1, 1796155200, NULL),
    (2, 1, 1796155200, NULL);
INSERT INTO edits VALUES (0);
PRAGMA user_version = 7;
