-- What each account may use, one row per account keyed by its rowid; an account without a
-- row has no limits. Console and server run this on every main.db they use, so an older file
-- is upgraded in place; no existing row changes.
CREATE TABLE IF NOT EXISTS account_limits (
    account       INTEGER PRIMARY KEY,         -- rowid of the account in accounts
    enabled       INTEGER NOT NULL DEFAULT 1,  -- 0: every login is refused
    expires       INTEGER,                     -- Unix time from which logins are refused:
                                               -- 0:00 local after the account's last day
    monthly_bytes INTEGER,                     -- traffic per calendar month, both directions
    bandwidth     INTEGER                      -- bytes per second, both directions together
);

-- Bytes each account moved per calendar month ("2026-12", the server's local time), both
-- directions; the server adds to it in the batches it writes history in.
CREATE TABLE IF NOT EXISTS account_traffic (
    account INTEGER NOT NULL,
    month   TEXT NOT NULL,
    bytes   INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (account, month)
);

-- Whoever deletes an account deletes what belongs to it.
CREATE TRIGGER IF NOT EXISTS account_limits_on_delete AFTER DELETE ON accounts
BEGIN
    DELETE FROM account_limits WHERE account = old.rowid;
    DELETE FROM account_traffic WHERE account = old.rowid;
END;
