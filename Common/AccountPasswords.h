#pragma once

#include <cstdint>
#include <string>

class CppSQLite3DB;

// The strong password hashes live in a table of their own beside `accounts`, one row per
// account, keyed by the account's rowid; `accounts` keeps its columns and its digests exactly
// as before, so older files, older consoles and other tools go on working with it. Two
// triggers keep the table true whoever changes `accounts`: deleting an account deletes its
// hash, and writing an account's password column (a tool that knows only the digest) deletes
// it too, so the server falls back to that digest instead of checking a stale hash.
// The SQL is Common/schema/account_passwords.sql, compiled in.
extern const char kAccountPasswordsSchema[];

// Creates the table and its triggers where they are missing (an older main.db is upgraded in
// place; no row of it changes). Throws CppSQLite3Exception.
void EnsureAccountPasswords(CppSQLite3DB& db);
// Stores `hash` as the account's strong hash, replacing any earlier one.
void StorePasswordHash(CppSQLite3DB& db, int64_t account, const std::string& hash);
