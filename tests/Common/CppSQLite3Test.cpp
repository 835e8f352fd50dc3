#include "tests/Common/TestSupport.h"

namespace {

using test::MessageOf;

class CppSQLite3Fixture : public testing::Test {
protected:
    void SetUp() override {
        test::CreateSchemaDb(
            path_,
            "insert into configuration (key, value) values ('lang', 'en'), ('empty', NULL);"
            " insert into history (user) values ('bob')");
        db_.open(path_.c_str());
    }
    test::TempDir dir_;
    std::string path_ = dir_.file("main.db");
    CppSQLite3DB db_;
};

TEST_F(CppSQLite3Fixture, MovedQueriesAndPreparedStatementsAreFinalizedExactlyOnce) {
    CppSQLite3Query source = db_.execQuery("select user from history");
    CppSQLite3Query target = db_.execQuery("select key from configuration");
    target = std::move(source);  // finalizes the target's own statement
    CppSQLite3Query moved(std::move(target));
    EXPECT_STREQ(moved.getStringField("user"), "bob");
    EXPECT_EQ(MessageOf([&] { source.getStringField(0); }),
              "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
    EXPECT_EQ(MessageOf([&] { db_.close(); }), "CPPSQLITE_ERROR[1000]: Unable to close database");
    moved.finalize();
    {  // a prepared statement runs once per row, and is finalized when it goes
        auto insert = db_.prepare("insert into history (user, url) values (?, ?)");
        EXPECT_EQ(insert.execute({"ann", "a"}), 1);
        const auto threeValues = [&] { insert.execute({"x", "y", "z"}); };
        EXPECT_EQ(MessageOf(threeValues), "SQLITE_RANGE[25]: column index out of range");
        EXPECT_EQ(insert.execute({"cy", ""}), 1);  // still usable after a failed run
        EXPECT_EQ(MessageOf([&] { db_.close(); }),
                  "CPPSQLITE_ERROR[1000]: Unable to close database");
    }
    EXPECT_NO_THROW(db_.close());  // had a statement leaked, SQLite would refuse
    EXPECT_EQ(test::Rows(path_, "select user, url from history where url is not null"),
              (std::vector<std::string>{"ann|a", "cy|"}));
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

TEST_F(CppSQLite3Fixture, ParametersTakeOneStatementAndASecondIsRefusedBeforeAnythingRuns) {
    // Text after the statement that is only blanks, a semicolon or a comment is fine.
    const std::string lang = "update configuration set value=? where key='lang';";
    EXPECT_EQ(db_.execDML((lang + " -- done\n ").c_str(), {"fr"}), 1);
    // A second statement would be dropped without a word: refused, and the first does not run.
    const std::string refused =
        "CPPSQLITE_ERROR[1000]: Parameters take one statement; more were given";
    EXPECT_EQ(MessageOf([&] { db_.execDML((lang + " delete from history").c_str(), {"de"}); }),
              refused);
    EXPECT_EQ(MessageOf([&] { db_.execQuery("select ?; select 2", {"x"}); }), refused);
    EXPECT_EQ(test::Rows(path_,
                         "select value, (select count(*) from history) from configuration"
                         " where key='lang'"),
              std::vector<std::string>{"fr|1"});
}

}  // namespace
