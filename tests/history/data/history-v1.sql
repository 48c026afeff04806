-- The layout of history files written by version 1 of the store, with a
-- few rows, to test the upgrade. Made with:
--   sqlite3 history-v1.sqlite3 < history-v1.sql
PRAGMA application_id = 1399550582;
CREATE TABLE samples(
    address TEXT NOT NULL,
    query_port INTEGER NOT NULL,
    t INTEGER NOT NULL,
    players INTEGER NOT NULL,
    bots INTEGER NOT NULL,
    map TEXT);
CREATE INDEX samples_by_server ON samples(address, query_port, t);
CREATE TABLE lookups(
    address TEXT NOT NULL,
    query_port INTEGER NOT NULL,
    t INTEGER NOT NULL,
    PRIMARY KEY(address, query_port));
-- 2026-12-01 20:00:00 UTC is 1796155200.
INSERT INTO samples VALUES
    ('192.0.2.10', 6500, 1796155200, 12, 2, 'DM-Deck'),
    ('192.0.2.10', 6500, 1796155500, 14, 0, 'DM-Deck'),
    ('192.0.2.10', 6500, 1796156100, 9, 4, 'CTF-Coret'),
    ('ut3.example.net', 6600, 1796155200, 0, 6, NULL),
    ('ut3.example.net', 6600, 1796155800, 3, 6, 'VCTF-Suspense');
INSERT INTO lookups VALUES
    ('192.0.2.10', 6500, 1796156000),
    ('ut3.example.net', 6600, 1796155300),
    ('198.51.100.7', 7787, 1796150000);
PRAGMA user_version = 1;
