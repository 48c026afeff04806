-- The layout of history databases written by version 2 of the PostgreSQL
-- store, with the rows of history-v7.sql, to test the upgrade.
CREATE TABLE skirvane_history(version integer NOT NULL);
CREATE TABLE servers(
    id bigserial PRIMARY KEY,
    address text NOT NULL,
    query_port integer NOT NULL,
    last_lookup bigint,
    name text,
    latest bigint,
    asked_address text,
    asked_port integer,
    web_port integer,
    UNIQUE(address, query_port)) WITH (fillfactor = 50);
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
    last_seen bigint NOT NULL);
CREATE INDEX sessions_by_server ON sessions(server_id, last_seen);
CREATE INDEX sessions_by_name ON sessions(name_id, last_seen);
CREATE TABLE open_sessions(
    server_id bigint NOT NULL,
    name_id bigint NOT NULL,
    first_seen bigint NOT NULL,
    PRIMARY KEY(server_id, name_id));
-- 2026-12-01 20:00:00 UTC is 1796155200. Ann is on both servers in their
-- latest samples; Bob left the first one, Ünïcødé the other.
INSERT INTO servers VALUES
    (1, '192.0.2.10', 6500, 1796156000, 'Deck Night', 1796155800, NULL, NULL, NULL),
    (2, 'ut3.example.net', 6600, NULL, 'Other Place', 1796155200, NULL, NULL, NULL);
SELECT setval('servers_id_seq', 2);
INSERT INTO maps VALUES (1, 'DM-Deck', 1796155800);
SELECT setval('maps_id_seq', 1);
INSERT INTO samples VALUES
    (1, 1796155200, 2, 0, 1),
    (1, 1796155500, 2, 0, 1),
    (1, 1796155800, 1, 0, 1),
    (2, 1796155200, 1, 0, NULL);
INSERT INTO names VALUES (1, 'Ann', 'ann'), (2, 'Bob', 'bob'), (3, 'Ünïcødé', 'Ünïcødé');
SELECT setval('names_id_seq', 3);
INSERT INTO sessions VALUES
    (1, 2, 1796155200, 1796155500),
    (2, 3, 1796154900, 1796154900);
INSERT INTO open_sessions VALUES
    (1, 1, 1796155200),
    (2, 1, 1796155200);
INSERT INTO skirvane_history VALUES (2);
