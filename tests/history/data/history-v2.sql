-- The layout of history files written by version 2 of the store, with a
-- few rows, to test the upgrade. Made with:
--   sqlite3 history-v2.sqlite3 < history-v2.sql
PRAGMA application_id = 1399550582;
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
-- 2026-12-01 20:00:00 UTC is 1796155200.
INSERT INTO servers VALUES
    (1, '192.0.2.10', 6500, 1796156000),
    (2, 'ut3.example.net', 6600, NULL);
INSERT INTO maps VALUES (1, 'DM-Deck', 1796155500), (2, 'CTF-Coret', 1796156100);
INSERT INTO samples VALUES
    (1, 1796155200, 12, 2, 1),
    (1, 1796155500, 14, 0, 1),
    (1, 1796156100, 9, 4, 2),
    (2, 1796155200, 0, 6, NULL);
PRAGMA user_version = 2;
