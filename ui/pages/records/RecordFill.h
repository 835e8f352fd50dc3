#pragma once
// A page's fill: the whole table read on the calling thread under the database lock.
#include "Common/Database.h"
#include "ui/pages/records/RecordList.h"

// Empties `list` and reads its table into it, newest first. A database error ends the fill
// silently; the rows read before it stay. True when the whole table was read.
template <typename Columns>
bool FillFromDatabase(RecordList<Columns>& list, const DatabaseOptions& options = {}) {
    list.Clear();
    return UseDatabase(
        [&list](CppSQLite3DB& db) {
            CppSQLite3Query query = db.execQuery(Columns::kQuery);
            list.Read(query);
            query.finalize();
        },
        DbFailure::kSilent, options);
}

// The id of the newest row of the page's table (0 when empty); -1 when it cannot be read.
template <typename Columns>
int64_t NewestRowId(const DatabaseOptions& options = {}) {
    int64_t newest = -1;
    UseDatabase(
        [&newest](CppSQLite3DB& db) {
            newest = db.execQuery(Columns::kNewestQuery).getInt64Field(0);
        },
        DbFailure::kSilent, options);
    return newest;
}
