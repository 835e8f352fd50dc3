#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>

#include "Common/CppSQLite3DB.h"
#include "tests/Common/TestSupport.h"

namespace {

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CppSQLite3Exception& error) {
        return error.errorMessage();
    }
    return "<no exception>";
}

struct MessageCase {
    int code;
    const char* text;
    const char* expected;
};

TEST(CppSQLite3Exception, BuildsTheFullMessageFromTheCodeName) {
    const MessageCase cases[] = {
        {1000, "Database not open", "CPPSQLITE_ERROR[1000]: Database not open"},
        {3000, "odd", "UNKNOWN_ERROR[3000]: odd"},
        {5, nullptr, "SQLITE_BUSY[5]: "},
        {1, "no such table: configuration", "SQLITE_ERROR[1]: no such table: configuration"},
        {0, "", "SQLITE_OK[0]: "},
        {25, "x", "SQLITE_RANGE[25]: x"},
        {26, "x", "UNKNOWN_ERROR[26]: x"},
        {100, "x", "SQLITE_ROW[100]: x"},
        {101, "x", "SQLITE_DONE[101]: x"},
        {517, "x", "UNKNOWN_ERROR[517]: x"},  // extended codes are not decoded
        {-1, "x", "UNKNOWN_ERROR[-1]: x"},
    };
    for (const MessageCase& c : cases) {
        const CppSQLite3Exception error(c.code, c.text);
        EXPECT_EQ(error.errorCode(), c.code);
        EXPECT_STREQ(error.errorMessage(), c.expected);
    }
}

TEST(CppSQLite3Exception, CopiesOwnTheirTextAndTakesSqliteTextsOver) {
    auto* original = new CppSQLite3Exception(14, sqlite3_mprintf("cannot open %d", 7), true);
    const CppSQLite3Exception copy(*original);
    CppSQLite3Exception assigned(0, "");
    assigned = *original;
    delete original;
    EXPECT_STREQ(copy.errorMessage(), "SQLITE_CANTOPEN[14]: cannot open 7");
    EXPECT_STREQ(assigned.errorMessage(), "SQLITE_CANTOPEN[14]: cannot open 7");
    EXPECT_EQ(assigned.errorCode(), 14);
}

class CppSQLite3Fixture : public testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("main.db");
        test::CreateSchemaDb(path_);
        db_.open(path_.c_str());
        db_.execDML(
            "insert into configuration (key, value) values ('lang', 'en'), ('empty', NULL);"
            "insert into history (user, ip, url, time) values ('bob', 167772161, 'a.com', 5)");
    }

    test::TempDir dir_;
    std::string path_;
    CppSQLite3DB db_;
};

TEST_F(CppSQLite3Fixture, WrapperErrorsCarryCode1000AndTheirTexts) {
    CppSQLite3DB closed;
    CppSQLite3Query finalized = db_.execQuery("select user, ip from history");
    finalized.finalize();
    const struct {
        const char* name;
        std::function<void()> action;
        const char* expected;
    } cases[] = {
        {"query on closed", [&] { closed.execQuery("select 1"); },
         "CPPSQLITE_ERROR[1000]: Database not open"},
        {"dml on closed", [&] { closed.execDML("select 1"); },
         "CPPSQLITE_ERROR[1000]: Database not open"},
        {"index -1", [&] { db_.execQuery("select user, ip from history").getStringField(-1); },
         "CPPSQLITE_ERROR[1000]: Invalid field index requested"},
        {"index = count", [&] { db_.execQuery("select user, ip from history").getIntField(2); },
         "CPPSQLITE_ERROR[1000]: Invalid field index requested"},
        {"type of bad index", [&] { db_.execQuery("select user from history").fieldDataType(1); },
         "CPPSQLITE_ERROR[1000]: Invalid field index requested"},
        {"unknown name", [&] { db_.execQuery("select user from history").getStringField("url"); },
         "CPPSQLITE_ERROR[1000]: Invalid field name requested"},
        {"name differs in case",
         [&] { db_.execQuery("select user from history").getStringField("USER"); },
         "CPPSQLITE_ERROR[1000]: Invalid field name requested"},
        {"null name",
         [&] {
             db_.execQuery("select user from history")
                 .getInt64Field(static_cast<const char*>(nullptr));
         },
         "CPPSQLITE_ERROR[1000]: Invalid field name requested"},
        {"finalized read", [&] { finalized.getStringField(0); },
         "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer"},
        {"finalized step", [&] { finalized.nextRow(); },
         "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer"},
        {"missing table", [&] { db_.execQuery("select value from settings"); },
         "SQLITE_ERROR[1]: no such table: settings"},
        {"bad dml", [&] { db_.execDML("delete from nowhere"); },
         "SQLITE_ERROR[1]: no such table: nowhere"},
    };
    for (const auto& c : cases) EXPECT_EQ(MessageOf(c.action), c.expected) << c.name;
}

TEST_F(CppSQLite3Fixture, MissingRowAndNullValueBothReadAsStorageClass5) {
    const struct {
        const char* key;
        int type;
        std::string text;
    } cases[] = {{"lang", 3, "en"}, {"empty", 5, "dflt"}, {"absent", 5, "dflt"}};
    for (const auto& c : cases) {
        const std::string sql =
            std::string("select value from configuration where key='") + c.key + "'";
        CppSQLite3Query query = db_.execQuery(sql.c_str());
        EXPECT_EQ(query.fieldDataType(0), c.type) << c.key;
        EXPECT_EQ(query.getStringField("value", "dflt"), c.text) << c.key;
        EXPECT_EQ(query.getIntField(0, -7), c.type == 5 ? -7 : 0) << c.key;
    }
}

TEST_F(CppSQLite3Fixture, ReadsEveryColumnKindByNameAndIndex) {
    CppSQLite3Query query = db_.execQuery("select rowid, user, ip, url, time from history");
    ASSERT_FALSE(query.eof());
    EXPECT_EQ(query.numFields(), 5);
    EXPECT_EQ(query.fieldIndex("url"), 3);
    EXPECT_EQ(query.getInt64Field("rowid"), 1);
    EXPECT_STREQ(query.getStringField("user"), "bob");
    EXPECT_EQ(static_cast<uint32_t>(query.getIntField("ip")), 0x0A000001u);
    EXPECT_EQ(query.fieldDataType(2), 1);
    query.nextRow();
    EXPECT_TRUE(query.eof());
    EXPECT_EQ(query.fieldDataType(1), 5);  // past the last row columns read as null
}

TEST_F(CppSQLite3Fixture, QueriesMoveAndTheTargetsStatementIsFinalized) {
    CppSQLite3Query source = db_.execQuery("select user from history");
    CppSQLite3Query target = db_.execQuery("select key from configuration");
    target = std::move(source);
    EXPECT_STREQ(target.getStringField(0), "bob");
    EXPECT_EQ(MessageOf([&] { source.getStringField(0); }),
              "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    CppSQLite3Query moved(std::move(target));
    EXPECT_STREQ(moved.getStringField("user"), "bob");
    moved.finalize();
    // Had any of the three statements leaked, SQLite would refuse to close.
    EXPECT_NO_THROW(db_.close());
}

TEST_F(CppSQLite3Fixture, CloseWithAnOpenQueryThrowsButDestroyingDoesNot) {
    auto* db = new CppSQLite3DB;
    db->open(path_.c_str());
    CppSQLite3Query query = db->execQuery("select user from history");
    EXPECT_EQ(MessageOf([&] { db->close(); }), "CPPSQLITE_ERROR[1000]: Unable to close database");
    EXPECT_NO_THROW(delete db);
    EXPECT_NO_THROW(query.finalize());  // the connection lingers until its last statement goes
}

TEST_F(CppSQLite3Fixture, AFailingStepFinalizesTheQueryAndThrowsSqlitesText) {
    db_.execDML(
        "create table numbers (v integer);"
        "insert into numbers values (1), (-9223372036854775808)");
    CppSQLite3Query query = db_.execQuery("select abs(v) from numbers order by rowid");
    EXPECT_EQ(query.getIntField(0), 1);
    EXPECT_EQ(MessageOf([&] { query.nextRow(); }), "SQLITE_ERROR[1]: integer overflow");
    EXPECT_EQ(MessageOf([&] { query.nextRow(); }),
              "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(CppSQLite3Fixture, ExecDmlCountsChangedRowsAndBindsTextsVerbatim) {
    EXPECT_EQ(db_.execDML("update configuration set value='zh'"), 2);
    EXPECT_EQ(
        db_.execDML("insert into accounts (username, password) values (?, ?)", {"O'Brien", "42"}),
        1);
    CppSQLite3Query query =
        db_.execQuery("select password from accounts where username=?", {"O'Brien"});
    EXPECT_STREQ(query.getStringField("password"), "42");
    EXPECT_EQ(MessageOf([&] {
                  db_.execDML("select ?", {"a", "b"});
              }),
              "SQLITE_RANGE[25]: column index out of range");
}

TEST_F(CppSQLite3Fixture, OpenKeepsTheRollbackJournal) {
    CppSQLite3DB db;
    db.open(path_.c_str());
    EXPECT_STREQ(db.execQuery("PRAGMA journal_mode").getStringField(0), "delete");
    EXPECT_EQ(db.busyTimeout(), 60000);
}

}  // namespace
