#pragma once

#include <array>

class CppSQLite3DB;

// The tables of main.db that console and server share (Common/schema/main.sql, compiled in),
// for the checks that a file is a main.db.
extern const char kMainTablesSchema[];

// Columns the shared tables gained after their first release: a main.db made before lacks
// them until it is upgraded, and is still a main.db (a backup of it may be restored).
struct AddedColumn {
    const char* table;
    const char* column;
    const char* type;
};
inline constexpr std::array<AddedColumn, 1> kAddedColumns = {{
    {"history", "ipv6", "TEXT"},  // an IPv6 client's address; ip holds IPv4 ones
}};

// The tables of this build, counted in main.db's user_version: a file marked lower is older.
// 1: history.ipv6; 2: account_days.
inline constexpr int kMainTablesVersion = 2;

// Makes a main.db's tables those of this build: where the file is marked older, creates what
// is missing (the shared tables, those beside the accounts, the added columns) and marks it,
// all in one transaction, so a failure leaves the file as it was; no existing row changes. A
// file marked current (or newer) is left as it is. Throws CppSQLite3Exception.
void UpgradeMainTables(CppSQLite3DB& db);
