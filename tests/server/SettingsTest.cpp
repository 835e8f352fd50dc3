// The server's reading of main.db: the tables and rows it creates, how it reads values.
#include <gtest/gtest.h>

#include "Common/CppSQLite3DB.h"
#include "server/ServerSettings.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

TEST(ServerSettings, AFreshFileGetsTablesAndRowsAndValuesAreReadAsTheConsoleReadsThem) {
    const std::string path = InstallDir() + "/settings.db";
    std::remove(path.c_str());
    CppSQLite3DB db;
    db.open(path.c_str());
    ServerSettings settings = LoadServerSettings(db);
    EXPECT_EQ(settings.listenPort, 8089);
    EXPECT_FALSE(settings.anonymousAllowed);
    EXPECT_EQ(settings.historyMaxRows, 1000000);
    EXPECT_EQ(db.execQuery("select count(*) from configuration").getIntField(0), 3);
    EXPECT_EQ(db.execQuery("select count(*) from history").getIntField(0), 0);

    db.execDML(
        "update configuration set value='70000x' where key='listen_port';"
        "update configuration set value='2' where key='anonymous_allow';"
        "insert into configuration values ('idle_timeout', '-5');"
        "insert into configuration values ('max_connections', '7');"
        "insert into accounts values ('amy', '26499', '');"
        "insert into accounts values ('amy', '1', '');");
    settings = LoadServerSettings(db);
    EXPECT_EQ(settings.listenPort, 70000 % 65536);
    EXPECT_FALSE(settings.anonymousAllowed) << "only exactly 1 switches it on";
    EXPECT_EQ(settings.idleTimeoutSec, 300);
    EXPECT_EQ(settings.maxConnections, 7);
    ASSERT_EQ(settings.accounts.size(), 1u);
    EXPECT_EQ(settings.accounts.at("amy"), 26499u) << "the first row of a name wins";
    EXPECT_EQ(db.execQuery("select count(*) from configuration").getIntField(0), 5);
    db.close();
    std::remove(path.c_str());
}

}  // namespace
}  // namespace server_test
