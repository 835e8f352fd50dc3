#include "Common/AccountPasswords.h"

#include "Common/CppSQLite3DB.h"
#include "Common/Database.h"

void EnsureAccountPasswords(CppSQLite3DB& db) {
    db.execDML(kAccountPasswordsSchema);
}

void StorePasswordHash(CppSQLite3DB& db, int64_t account, const std::string& hash) {
    db.execDML(
        SqlFormat("insert or replace into account_passwords (account, hash) values (%lld, ?)",
                  static_cast<long long>(account))
            .c_str(),
        {hash});
}
