-- The tables of main.db that console and server share. The server's "--prepare-database" (which
-- the install scripts run) makes a fresh main.db from this file, and the tests build their
-- fixtures with it. A column added after the tables' first release is also listed in
-- Common/MainTables.h, which adds it to an older file. Every table keeps SQLite's implicit
-- rowid, which the console reads as "rowid".

-- One row per setting: listen_port, torvoagent_allow, lang, anonymous_allow.
CREATE TABLE IF NOT EXISTS configuration (
    key   TEXT,
    value TEXT
);

-- Proxy accounts; password is the 31-bit digest written in decimal, create_time the local
-- time as "year-month-day hour:minute:second" without zero padding. Their strong password
-- hashes live in account_passwords (account_passwords.sql beside this file), which console
-- and server create where it is missing.
CREATE TABLE IF NOT EXISTS accounts (
    username    TEXT,
    password    TEXT,
    create_time TEXT
);

-- Written by the server; time is seconds of Unix time.
CREATE TABLE IF NOT EXISTS alarms (
    source  TEXT,
    message TEXT,
    time    INTEGER
);

-- Written by the server; ip is an IPv4 client's address held as a 32-bit number (0 for an IPv6
-- client), ipv6 an IPv6 client's address as text ("2001:db8::1"; null for IPv4 clients), time
-- seconds of Unix time.
CREATE TABLE IF NOT EXISTS history (
    user TEXT,
    ip   INTEGER,
    url  TEXT,
    time INTEGER,
    ipv6 TEXT
);
