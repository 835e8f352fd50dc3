#pragma once

#include "Common/CppSQLite3DB.h"
#include "Common/CppSQLite3Exception.h"

// "begin immediate" now; rolled back unless committed, so a failure part way changes nothing
// even while the connection stays open.
class Transaction {
public:
    explicit Transaction(CppSQLite3DB& db) : db_(db) { db_.execDML("begin immediate"); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction() {
        if (committed_) return;
        try {
            db_.execDML("rollback");
        } catch (const CppSQLite3Exception&) {
            // Closing the connection rolls back as well.
        }
    }
    void Commit() {
        db_.execDML("commit");
        committed_ = true;
    }

private:
    CppSQLite3DB& db_;
    bool committed_ = false;
};
