// Logins as a guesser tries them: passwords that share a digest, rows from older files, bursts
// from one address; and the throttle's rules alone.
#include "Common/PasswordDigest.h"
#include "Common/UserConf.h"
#include "server/LoginThrottle.h"
#include "tests/server/ServerHarness.h"
#include "tests/support/TempDir.h"

namespace server_test {
namespace {

using Outcome = LoginThrottle::Outcome;
using std::chrono::milliseconds;

TEST(LoginThrottle, BlocksAGuessingAddressLongerEachTimeButNeverTheAccount) {
    LoginLimits limits;
    limits.maxAddresses = 10;
    LoginThrottle throttle(limits);
    auto now = LoginThrottle::Clock::time_point{} + std::chrono::hours(1);
    // One failure: the block it started, or -1 when the attempt was refused unchecked.
    const auto fail = [&](const std::string& address, const std::string& account = "amy") {
        if (!throttle.Begin(address, now)) return milliseconds(-1);
        return throttle.Finish(address, account, Outcome::kBad, now);
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(fail("a"), milliseconds(0)) << "the allowance";
    EXPECT_EQ(fail("a"), milliseconds(1000));
    EXPECT_EQ(fail("a"), milliseconds(-1)) << "blocked: refused, and the block doubles";
    EXPECT_TRUE(throttle.Blocked("a", now + milliseconds(1999)));
    now += milliseconds(2000);
    EXPECT_EQ(fail("a"), milliseconds(4000));
    for (int i = 0; i < 4; ++i) fail("a");  // 8 s, 16 s, 32 s, then the cap
    EXPECT_TRUE(throttle.Blocked("a", now + milliseconds(59999)));
    EXPECT_FALSE(throttle.Blocked("a", now + milliseconds(60000)));

    // Another address logs in at once. Eight checks of one address may be under way, no more.
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(throttle.Begin("b", now));
    EXPECT_FALSE(throttle.Begin("b", now));
    for (int i = 0; i < 8; ++i) throttle.Finish("b", "amy", Outcome::kGood, now);

    // Twenty failures on bob from as many addresses: from then on an address that fails on him
    // is blocked at its first failure, while one with the right password still gets in.
    for (int i = 0; i < 20; ++i) EXPECT_EQ(fail("c" + std::to_string(i), "bob"), milliseconds(0));
    EXPECT_EQ(fail("d", "bob"), milliseconds(1000));
    EXPECT_TRUE(throttle.Begin("e", now));
    EXPECT_EQ(throttle.Finish("e", "bob", Outcome::kGood, now), milliseconds(0));
    EXPECT_LE(throttle.Addresses(), limits.maxAddresses) << "hostile addresses stay bounded";

    now += limits.forgetAfter + milliseconds(60000);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(fail("d"), milliseconds(0)) << "failures are forgotten";
}

using Logins = ServerTest;

TEST_F(Logins, TheStrongHashRefusesDigestCollisionsAndOldRowsKeepTheirDigest) {
    ResetDatabase({{"anonymous_allow", "0"}}, {{"old", "b0b"}, {"broken", ""}});
    ASSERT_EQ(UserConf::instance().addAccount("amy", "ab"), AccountChange::kDone);
    Sql("update accounts set password='not a number' where username='broken'");
    for (const char* forged : {"`r", "bR"}) ASSERT_EQ(PasswordDigest(forged), PasswordDigest("ab"));
    Serve();
    // Sixteen at once with one credential (as a browser opens them): one check, none refused.
    std::string sixteen, allGood;
    for (int i = 0; i < 16; ++i) {
        sixteen += " -o /dev/null " + Url("/hello");
        allGood += "200";
    }
    EXPECT_EQ(Curl("--parallel --parallel-immediate --parallel-max 16 -w %{http_code} " +
                   Http("amy:ab") + sixteen)
                  .output,
              allGood);
    EXPECT_TRUE(Client(listen_).Socks5(origin_.Port(), "amy", "ab"));
    EXPECT_FALSE(Client(listen_).Socks5(origin_.Port(), "amy", "`r"));
    EXPECT_EQ(Status(Http("amy:bR") + Url("/hello")), "407");
    EXPECT_EQ(Status(Http("amy:ab") + Url("/hello")), "200");

    EXPECT_TRUE(Client(listen_).Socks5(origin_.Port(), "old", "b0b")) << "checked by its digest";
    EXPECT_EQ(Status(Http("old:b0b") + Url("/hello")), "200");
    const std::string log = test::ReadText(InstallDir() + "/server.log"),
                      warning = "account \"old\" has no strong password hash";
    EXPECT_EQ(log.find(warning), log.rfind(warning)) << "once";
    EXPECT_NE(log.find(warning), std::string::npos);
    EXPECT_EQ(Status(Http("broken:") + Url("/hello")), "407") << "a digest that is no number";
}

}  // namespace
}  // namespace server_test
