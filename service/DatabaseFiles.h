#pragma once

#include <string>

// The files of main.db beside the server program, which a server running as an account other
// than root cannot create in its root-owned folder.
inline constexpr const char* kDatabaseFileName = "main.db";
inline constexpr const char* kJournalFileName = "main.db-journal";

// Makes the journal and the lock of an existing main.db beside `program` (a full path) when
// they are missing: empty, main.db's owner and group, its mode, never through a link. (SQLite's
// own command line deletes the journal after a write.)
void PrepareDatabaseFiles(const std::string& program);
