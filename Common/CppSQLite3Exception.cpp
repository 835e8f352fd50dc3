#include "Common/CppSQLite3Exception.h"

#include <sqlite3.h>

#include <iterator>
#include <utility>

namespace {

char* CopyWithSqliteAllocator(const char* text) {
    return text == nullptr ? nullptr : sqlite3_mprintf("%s", text);
}

}  // namespace

CppSQLite3Exception::CppSQLite3Exception(int errorCode, const char* errorMessage, bool freeMessage)
    : code_(errorCode),
      message_(sqlite3_mprintf("%s[%d]: %s", errorCodeAsString(errorCode), errorCode,
                               errorMessage != nullptr ? errorMessage : "")) {
    if (freeMessage && errorMessage != nullptr) {
        sqlite3_free(const_cast<char*>(errorMessage));
    }
}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception& other)
    : code_(other.code_), message_(CopyWithSqliteAllocator(other.message_)) {}

CppSQLite3Exception& CppSQLite3Exception::operator=(const CppSQLite3Exception& other) {
    if (this != &other) {
        CppSQLite3Exception copy(other);
        std::swap(code_, copy.code_);
        std::swap(message_, copy.message_);
    }
    return *this;
}

CppSQLite3Exception::~CppSQLite3Exception() {
    sqlite3_free(message_);
}

const char* CppSQLite3Exception::errorCodeAsString(int errorCode) {
    // Primary result codes 0..25 by value; extended codes are not decoded.
    static constexpr const char* kPrimaryNames[] = {
        "SQLITE_OK",          // 0
        "SQLITE_ERROR",       // 1
        "SQLITE_INTERNAL",    // 2
        "SQLITE_PERM",        // 3
        "SQLITE_ABORT",       // 4
        "SQLITE_BUSY",        // 5
        "SQLITE_LOCKED",      // 6
        "SQLITE_NOMEM",       // 7
        "SQLITE_READONLY",    // 8
        "SQLITE_INTERRUPT",   // 9
        "SQLITE_IOERR",       // 10
        "SQLITE_CORRUPT",     // 11
        "SQLITE_NOTFOUND",    // 12
        "SQLITE_FULL",        // 13
        "SQLITE_CANTOPEN",    // 14
        "SQLITE_PROTOCOL",    // 15
        "SQLITE_EMPTY",       // 16
        "SQLITE_SCHEMA",      // 17
        "SQLITE_TOOBIG",      // 18
        "SQLITE_CONSTRAINT",  // 19
        "SQLITE_MISMATCH",    // 20
        "SQLITE_MISUSE",      // 21
        "SQLITE_NOLFS",       // 22
        "SQLITE_AUTH",        // 23
        "SQLITE_FORMAT",      // 24
        "SQLITE_RANGE",       // 25
    };
    if (errorCode >= 0 && errorCode < static_cast<int>(std::size(kPrimaryNames))) {
        return kPrimaryNames[errorCode];
    }
    switch (errorCode) {
        case 100:
            return "SQLITE_ROW";
        case 101:
            return "SQLITE_DONE";
        case kCppSQLiteError:
            return "CPPSQLITE_ERROR";
        default:
            return "UNKNOWN_ERROR";
    }
}
