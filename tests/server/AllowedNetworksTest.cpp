// Who may connect to the proxy port: clients from outside the allowed networks are closed at
// accept and named in an alarm; applyconf ends the sessions of a network taken off the list.
// 127.0.0.2 is a second loopback address, so a list of 127.0.0.1/32 leaves it outside.
#include "tests/server/ServerHarness.h"
#include "tests/support/TestDb.h"

namespace server_test {
namespace {

using AllowedNetworks = ServerTest;

TEST_F(AllowedNetworks, OutsidersAreClosedAtAcceptAndApplyConfEndsTheirLiveSessions) {
    Start({{"anonymous_allow", "1"}, {"allowed_networks", "127.0.0.1/32"}}, {});
    const std::string port = std::to_string(listen_);
    const std::string url = " " + Url("/hello");
    const std::string http = Http() + url;
    const std::string connect = "-p " + http;
    const std::string socks = Socks() + url;
    for (const std::string& client : {http, connect, socks}) {
        EXPECT_EQ(Curl(client).output, "hello world") << client;
        const auto outsider = Curl("--interface 127.0.0.2 " + client);
        EXPECT_NE(outsider.exitCode, 0) << client;
        EXPECT_EQ(outsider.output, "") << client;
    }
    EXPECT_NE(Curl("-x http://[::1]:" + port + url).exitCode, 0) << "::1 is outside too";
    EXPECT_EQ(origin_.Connections(), 3) << "no outsider reached the origin";
    // One alarm for the first outsider; the others fall within its minute.
    EXPECT_TRUE(WaitUntil([] { return Count("select count(*) from alarms") > 0; }));
    EXPECT_EQ(test::Rows(MainDb(), "select source, substr(message, 1, 27) from alarms"),
              std::vector<std::string>{"network|client 127.0.0.2 is outside"});

    Client inside(listen_);
    ASSERT_TRUE(inside.Socks5(origin_.Port()));
    Sql("update configuration set value='127.0.0.2/32, ::1' where key='allowed_networks'");
    ASSERT_TRUE(ApplyConf());
    EXPECT_TRUE(inside.Closed(3s));
    EXPECT_EQ(Curl("--interface 127.0.0.2 " + socks).output, "hello world");
    EXPECT_EQ(Curl("-x http://[::1]:" + port + url).output, "hello world");
    EXPECT_NE(Curl(http).exitCode, 0);
}

}  // namespace
}  // namespace server_test
