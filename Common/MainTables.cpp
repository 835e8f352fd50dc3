#include "Common/MainTables.h"

#include <string>

#include "Common/AccountDays.h"
#include "Common/AccountLimits.h"
#include "Common/AccountPasswords.h"
#include "Common/CppSQLite3DB.h"
#include "Common/Transaction.h"

namespace {

int64_t UserVersion(CppSQLite3DB& db) {
    return db.execQuery("pragma user_version").getInt64Field(0);
}

bool HasColumn(CppSQLite3DB& db, const AddedColumn& added) {
    return db.execQuery("select count(*) from pragma_table_info(?) where name=?",
                        {added.table, added.column})
               .getInt64Field(0) > 0;
}

}  // namespace

void UpgradeMainTables(CppSQLite3DB& db) {
    if (UserVersion(db) >= kMainTablesVersion) return;
    Transaction transaction(db);
    // Read again inside the transaction: another program may have upgraded it meanwhile.
    if (UserVersion(db) >= kMainTablesVersion) return;
    db.execDML(kMainTablesSchema);
    for (const AddedColumn& added : kAddedColumns) {
        if (HasColumn(db, added)) continue;
        // The names come from the table above, not from the file.
        db.execDML((std::string("alter table ") + added.table + " add column " + added.column +
                    " " + added.type)
                       .c_str());
    }
    EnsureAccountPasswords(db);
    EnsureAccountLimits(db);
    EnsureAccountDays(db);
    db.execDML(("pragma user_version = " + std::to_string(kMainTablesVersion)).c_str());
    transaction.Commit();
}
