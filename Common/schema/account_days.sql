-- Bytes each account moved per day ("2026-12-08", the server's local time), client to
-- destination (bytes_up) and back (bytes_down), for the last 90 days: the server adds to it in
-- the batches it writes history in and deletes older days. Keyed by the account's user name,
-- so a reader needs no rowid; the triggers keep the name true. Console and server run this on
-- every main.db they use (an older file is upgraded in place; no existing row changes).
CREATE TABLE IF NOT EXISTS account_days (
    username   TEXT NOT NULL,
    day        TEXT NOT NULL,
    bytes_up   INTEGER NOT NULL DEFAULT 0,
    bytes_down INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (username, day)
) WITHOUT ROWID;

-- Whoever deletes an account deletes its days (unless another row holds the same name); a
-- renamed account keeps them.
CREATE TRIGGER IF NOT EXISTS account_days_on_delete AFTER DELETE ON accounts
WHEN NOT EXISTS (SELECT 1 FROM accounts WHERE username = old.username)
BEGIN
    DELETE FROM account_days WHERE username = old.username;
END;
CREATE TRIGGER IF NOT EXISTS account_days_on_rename AFTER UPDATE OF username ON accounts
WHEN new.username IS NOT old.username
    AND NOT EXISTS (SELECT 1 FROM accounts WHERE username = old.username)
BEGIN
    UPDATE OR REPLACE account_days SET username = new.username WHERE username = old.username;
END;
