#pragma once

// The one error type of the database layer: an SQLite result code (or kCppSQLiteError for the
// wrapper's own errors) and the full message "<code name>[<code>]: <text>".
class CppSQLite3Exception {
public:
    static constexpr int kCppSQLiteError = 1000;

    // Builds the full message. With freeMessage the caller's text (handed out by SQLite) is
    // released here with SQLite's allocator.
    CppSQLite3Exception(int errorCode, const char* errorMessage, bool freeMessage = false);
    CppSQLite3Exception(const CppSQLite3Exception& other);
    CppSQLite3Exception& operator=(const CppSQLite3Exception& other);
    virtual ~CppSQLite3Exception();

    int errorCode() const { return code_; }
    // May be null when SQLite could not allocate the text.
    const char* errorMessage() const { return message_; }

    static const char* errorCodeAsString(int errorCode);

private:
    int code_;
    char* message_;  // allocated with SQLite's allocator
};
