#include <sqlite3.h>

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

TEST(CppSQLite3Exception, MessageIsCodeNameCodeAndText) {
    for (const auto& [code, text, expected] :
         std::vector<std::tuple<int, const char*, const char*>>{
             {1000, "Database not open", "CPPSQLITE_ERROR[1000]: Database not open"},
             {5, nullptr, "SQLITE_BUSY[5]: "},
             {26, "x", "UNKNOWN_ERROR[26]: x"},
             {517, "x", "UNKNOWN_ERROR[517]: x"}}) {  // extended codes are not decoded
        const CppSQLite3Exception error(code, text);
        EXPECT_EQ(error.errorCode(), code);
        EXPECT_STREQ(error.errorMessage(), expected);
    }
    // A copy owns its text; SQLite's text is taken over and freed with the original.
    auto* original = new CppSQLite3Exception(14, sqlite3_mprintf("cannot open %d", 7), true);
    const CppSQLite3Exception copy(*original);
    delete original;
    EXPECT_STREQ(copy.errorMessage(), "SQLITE_CANTOPEN[14]: cannot open 7");
}

class CppSQLite3Fixture : public testing::Test {
protected:
    void SetUp() override {
        test::CreateSchemaDb(path_,
                             "insert into configuration (key, value) values ('lang', 'en'),"
                             " ('empty', NULL); insert into history (user) values ('bob')");
        db_.open(path_.c_str());
    }
    test::TempDir dir_;
    std::string path_ = dir_.file("main.db");
    CppSQLite3DB db_;
};

TEST_F(CppSQLite3Fixture, ErrorTextsOfTheWrapperAndOfSqlite) {
    CppSQLite3DB closed;
    CppSQLite3Query finalized = db_.execQuery("select user from history");
    finalized.finalize();
    const auto user = [&] { return db_.execQuery("select user, ip from history"); };
    const std::string badIndex = "CPPSQLITE_ERROR[1000]: Invalid field index requested";
    const std::string badName = "CPPSQLITE_ERROR[1000]: Invalid field name requested";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { closed.execQuery("select 1"); }, "CPPSQLITE_ERROR[1000]: Database not open"},
        {[&] { user().getStringField(-1); }, badIndex},
        {[&] { user().getStringField("USER"); }, badName},
        {[&] { user().getInt64Field(static_cast<const char*>(nullptr)); }, badName},
        {[&] { finalized.getStringField(0); },
         "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer"},
        {[&] { db_.execDML("delete from settings"); }, "SQLITE_ERROR[1]: no such table: settings"},
    };
    for (const auto& [action, expected] : cases) EXPECT_EQ(MessageOf(action), expected);
}

TEST_F(CppSQLite3Fixture, NullValueAndMissingRowBothReadAsStorageClass5) {
    for (const auto& [key, type, text] : std::vector<std::tuple<std::string, int, std::string>>{
             {"lang", 3, "en"}, {"empty", 5, "dflt"}, {"absent", 5, "dflt"}}) {
        CppSQLite3Query query =
            db_.execQuery(("select value from configuration where key='" + key + "'").c_str());
        EXPECT_EQ(query.fieldDataType(0), type) << key;
        EXPECT_EQ(query.getStringField("value", "dflt"), text) << key;
        EXPECT_EQ(query.getIntField(0, -7), type == 5 ? -7 : 0) << key;
    }
}

TEST_F(CppSQLite3Fixture, MovedAndFailedQueriesAreFinalizedExactlyOnce) {
    CppSQLite3Query source = db_.execQuery("select user from history");
    CppSQLite3Query target = db_.execQuery("select key from configuration");
    target = std::move(source);  // finalizes the target's own statement
    CppSQLite3Query moved(std::move(target));
    EXPECT_STREQ(moved.getStringField("user"), "bob");
    EXPECT_EQ(MessageOf([&] { source.getStringField(0); }),
              "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    // A step that fails throws SQLite's text and finalizes the query.
    db_.execDML("create table n (v integer); insert into n values (1), (-9223372036854775808)");
    CppSQLite3Query failing = db_.execQuery("select abs(v) from n order by rowid");
    EXPECT_EQ(MessageOf([&] { failing.nextRow(); }), "SQLITE_ERROR[1]: integer overflow");
    EXPECT_EQ(MessageOf([&] { failing.nextRow(); }),
              "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    // Close refuses while a statement lives; destroying such a connection does not throw.
    EXPECT_EQ(MessageOf([&] { db_.close(); }), "CPPSQLITE_ERROR[1000]: Unable to close database");
    {
        CppSQLite3DB other;
        other.open(path_.c_str());
        moved = other.execQuery("select 1");
    }
    EXPECT_NO_THROW(moved.finalize());
    EXPECT_NO_THROW(db_.close());  // had a statement leaked, SQLite would refuse
}

TEST_F(CppSQLite3Fixture, ExecDmlCountsRowsBindsTextsVerbatimAndKeepsTheJournal) {
    EXPECT_EQ(db_.execDML("update configuration set value='zh'"), 2);
    EXPECT_EQ(db_.execDML("insert into accounts (username, password, create_time) values (?, ?, ?)",
                          {"O'Brien", "42", std::string_view()}),
              1);
    EXPECT_EQ(
        test::Rows(path_, "select password, create_time from accounts where username='O''Brien'"),
        std::vector<std::string>{"42|"});  // an empty view is an empty text, not NULL
    EXPECT_STREQ(db_.execQuery("PRAGMA journal_mode").getStringField(0), "delete");
}

}  // namespace
