-- The strong password hashes beside accounts (whose digests stay as they are), one row per
-- account keyed by its rowid. Console and server run this on every main.db they use, so an
-- older file is upgraded in place; no existing row changes.
CREATE TABLE IF NOT EXISTS account_passwords (
    account INTEGER PRIMARY KEY,  -- rowid of the account in accounts
    hash    TEXT NOT NULL         -- yescrypt, as crypt(3) writes it: "$y$..."
);

-- Whoever deletes an account, or writes its password column (a tool that knows only the
-- digest), deletes its hash too: a stale hash is never checked.
CREATE TRIGGER IF NOT EXISTS account_passwords_on_delete AFTER DELETE ON accounts
BEGIN
    DELETE FROM account_passwords WHERE account = old.rowid;
END;
CREATE TRIGGER IF NOT EXISTS account_passwords_on_password AFTER UPDATE OF password ON accounts
BEGIN
    DELETE FROM account_passwords WHERE account = old.rowid;
END;
