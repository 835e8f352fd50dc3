// Logins as a guesser tries them: passwords that share a digest, rows from older files, bursts
// from one address; and the throttle's rules alone.
#include <asio.hpp>
#include <map>

#include "Common/PasswordDigest.h"
#include "Common/PasswordHash.h"
#include "Common/UserConf.h"
#include "server/ClientSource.h"
#include "server/LoginCheck.h"
#include "server/LoginThrottle.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

using Outcome = LoginThrottle::Outcome;
using std::chrono::milliseconds;

TEST(LoginThrottle, SlowsTheGuesserNotTheOtherUsersOfItsAddressAndKeepsEveryBlock) {
    LoginLimits limits;
    limits.maxEntries = 12;
    limits.addressAllowance = 12;
    limits.maxBlock = milliseconds(3000);
    LoginThrottle throttle(limits);
    auto now = LoginThrottle::Clock::time_point{} + std::chrono::hours(1);
    // An attempt as the login check makes it: the block a failure started, or -1 when it was
    // refused unchecked; a right password returns 0 once checked.
    const auto attempt = [&](const std::string& address, const std::string& name,
                             Outcome outcome = Outcome::kBad) {
        const auto gate = throttle.Look(address, name, now);
        if (gate.pairBlocked) return milliseconds(-1);
        if (gate.addressBlocked) {
            throttle.Refused(address, name, now);
            return milliseconds(-1);
        }
        if (!throttle.Begin(address, now)) return milliseconds(-1);
        return throttle.Finish(address, name, outcome, now);
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(attempt("a", "bob"), milliseconds(0)) << "the allowance";
    EXPECT_EQ(attempt("a", "bob"), milliseconds(1000));
    EXPECT_EQ(attempt("a", "bob", Outcome::kGood), milliseconds(-1)) << "bob waits, right or not";
    EXPECT_EQ(throttle.Look("a", "bob", now).wait, milliseconds(1000)) << "a wait is no failure";
    EXPECT_EQ(attempt("a", "alice", Outcome::kGood), milliseconds(0))
        << "alice behind the same NAT";
    now += milliseconds(1000);
    EXPECT_EQ(attempt("a", "bob"), milliseconds(2000)) << "doubles with each checked failure";
    now += milliseconds(2000);
    EXPECT_EQ(attempt("a", "bob"), limits.maxBlock) << "up to the cap";

    // A guesser spraying names blocks its address past the looser ceiling (12 here, with
    // bob's 8): then nothing from it is checked (the login check lets remembered credentials
    // through), and each refusal counts against its pair.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(attempt("a", "n" + std::to_string(i)), milliseconds(0));
    EXPECT_EQ(attempt("a", "n4"), milliseconds(1000));
    EXPECT_TRUE(throttle.Look("a", "carol", now).addressBlocked);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(attempt("a", "carol"), milliseconds(-1));
    EXPECT_TRUE(throttle.Look("a", "carol", now).pairBlocked) << "past its allowance";

    // Eight checks of one address may be under way, no more. Those refused meanwhile (many
    // users behind one address at start-up) are no failures: they only rank it lower until
    // one of its checks passes.
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(throttle.Begin("b", now));
    for (int i = 0; i < 2 * limits.addressAllowance; ++i) EXPECT_FALSE(throttle.Begin("b", now));
    EXPECT_FALSE(throttle.Look("b", "amy", now).addressBlocked);
    EXPECT_EQ(throttle.Finish("b", "amy", Outcome::kUnchecked, now), milliseconds(0));
    EXPECT_FALSE(throttle.Look("b", "amy", now).addressBlocked);
    EXPECT_GT(throttle.Look("b", "amy", now).standing, throttle.Look("z", "amy", now).standing);
    for (int i = 0; i < 7; ++i) throttle.Finish("b", "amy", Outcome::kGood, now);
    EXPECT_EQ(throttle.Look("b", "amy", now).standing, throttle.Look("z", "amy", now).standing);

    // A name with twenty failures from as many addresses is under attack, whether an account
    // has it or not: an address that fails on it is blocked at its first failure.
    for (int i = 0; i < 20; ++i) attempt("c" + std::to_string(i), "ghost");
    EXPECT_EQ(attempt("d", "ghost"), milliseconds(1000));
    EXPECT_EQ(attempt("e", "ghost", Outcome::kGood), milliseconds(0));

    // One-off failures from many addresses fill the table; no block is dropped to make room.
    for (int i = 0; i < 100; ++i) attempt("f" + std::to_string(i), "x" + std::to_string(i));
    EXPECT_LE(throttle.Entries(), 2 * limits.maxEntries) << "hostile addresses stay bounded";
    EXPECT_TRUE(throttle.Look("a", "bob", now).pairBlocked);
    EXPECT_TRUE(throttle.Look("d", "ghost", now).pairBlocked);

    now += limits.forgetAfter + milliseconds(60000);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(attempt("d", "bob"), milliseconds(0)) << "forgotten";
}

// The connection share and the throttle count a host once: an IPv6 client by its /64.
TEST(ClientSource, AnIpv6HostCountsByItsSlash64AndAnIpv4AddressByItself) {
    EXPECT_EQ(ThrottleKey("2001:db8:1:2::7"), "2001:db8:1:2::/64");
    EXPECT_EQ(ThrottleKey("2001:db8:1:2:ffff:1:2:3"), ThrottleKey("2001:db8:1:2::1"));
    EXPECT_NE(ThrottleKey("2001:db8:1:3::1"), ThrottleKey("2001:db8:1:2::1"));
    EXPECT_EQ(ThrottleKey("10.0.0.7"), "10.0.0.7");
    const auto v6 = [](const char* text) { return SourceOf(asio::ip::make_address(text)); };
    EXPECT_EQ(v6("fd00:1:2:3:4:5:6:7"), v6("fd00:1:2:3::"));
    EXPECT_NE(v6("fd00:1:2:4::"), v6("fd00:1:2:3::"));
    EXPECT_EQ(v6("10.0.0.7"), asio::ip::make_address("10.0.0.7"));
}

// The login check on its own loop, against accounts the test changes as applyconf would.
class LoginCheckerTest : public ::testing::Test {
protected:
    explicit LoginCheckerTest(LoginCapacity capacity = {}, LoginLimits limits = TestLimits())
        : limits_(limits),
          checker_(
              io_,
              [this](const std::string& user) -> const ProxyAccount* {
                  const auto found = accounts_.find(user);
                  return found == accounts_.end() ? nullptr : &found->second;
              },
              limits_, capacity) {
        for (const auto& [user, password] : {std::pair{"alice", "secret"}, {"bob", "b0b"}}) {
            SetPassword(user, password);
            accounts_[user].rowid = ++rowids_;
        }
    }
    void SetPassword(const std::string& user, const std::string& password) {
        accounts_[user].hash = MakePasswordHash(password).value();
    }
    // Starts a check; Result() runs the loop to its end.
    void Begin(const std::string& user, const std::string& password, const char* from) {
        verdict_.reset();
        asked_ = {user, password, from};  // the check refers to them until its end
        asio::co_spawn(io_, checker_.Check(asked_[0], asked_[1], asked_[2]),
                       [&](std::exception_ptr, LoginVerdict verdict) { verdict_ = verdict; });
        io_.restart();
        io_.poll();  // up to the check on the pool, which takes tens of milliseconds
    }
    LoginVerdict Result() {
        io_.restart();
        io_.run();
        return verdict_.value_or(LoginVerdict{LoginResult::kBusy});
    }
    LoginResult Check(const std::string& user, const std::string& password,
                      const char* from = "10.0.0.1") {
        Begin(user, password, from);
        return Result().result;
    }

    static LoginLimits TestLimits() {
        LoginLimits limits;
        limits.accountUnderAttack = 2;
        return limits;
    }

    int64_t rowids_ = 0;
    std::map<std::string, ProxyAccount> accounts_;
    asio::io_context io_;
    LoginLimits limits_;
    LoginChecker checker_;
    std::optional<LoginVerdict> verdict_;
    std::array<std::string, 3> asked_;
};

// One hash checker and three places to wait, two checks of one address under way at once: a
// few attempts at once fill them.
class LoginCheckerAtCapacity : public LoginCheckerTest {
protected:
    LoginCheckerAtCapacity() : LoginCheckerTest(LoginCapacity{1, 3}, Limits()) {}
    static LoginLimits Limits() {
        LoginLimits limits = TestLimits();
        limits.inFlightPerAddress = 2;
        limits.addressAllowance = 4;
        return limits;
    }

    struct Attempt {
        std::string user, password, from;
    };
    // Makes the attempts at once, in this order, and runs the loop until all are answered:
    // each user's verdict in the order the verdicts came. Counts the blocks they started.
    std::vector<std::pair<std::string, LoginResult>> AtOnce(const std::vector<Attempt>& attempts) {
        std::vector<std::pair<std::string, LoginResult>> answered;
        for (const Attempt& attempt : attempts) {
            asio::co_spawn(
                io_, checker_.Check(attempt.user, attempt.password, attempt.from),
                [this, &answered, user = attempt.user](std::exception_ptr, LoginVerdict verdict) {
                    answered.emplace_back(user, verdict.result);
                    blocks_ += verdict.blocked.count() > 0;
                });
        }
        io_.restart();
        io_.run();
        return answered;
    }

    int blocks_ = 0;
};

// applyconf keeps what it did not change: after a change of bob's password, alice's remembered
// credential still passes with no checker left, bob's old one does not.
TEST_F(LoginCheckerTest, ReadingTheAccountsAgainForgetsOnlyTheCredentialsThatChanged) {
    EXPECT_EQ(Check("alice", "secret"), LoginResult::kGood);
    EXPECT_EQ(Check("bob", "b0b"), LoginResult::kGood);
    SetPassword("bob", "new");
    checker_.Forget({"bob"});
    checker_.Stop();  // from now on only a remembered credential passes
    EXPECT_EQ(Check("alice", "secret"), LoginResult::kGood);
    EXPECT_NE(Check("bob", "b0b"), LoginResult::kGood) << "bob's old password";
}

// A verdict checked against accounts that changed meanwhile is not applied: a deleted account
// is refused, a changed password is checked again.
TEST_F(LoginCheckerTest, AVerdictHoldsOnlyForTheAccountsItWasCheckedAgainst) {
    Begin("alice", "secret", "10.0.0.1");
    accounts_.erase("alice");
    checker_.Forget({"alice"});
    EXPECT_EQ(Result().result, LoginResult::kBad) << "deleted while checked";

    Begin("bob", "b0b", "10.0.0.2");
    SetPassword("bob", "new");
    checker_.Forget({"bob"});
    EXPECT_EQ(Result().result, LoginResult::kBad) << "the old password, checked before the change";
    Begin("bob", "new", "10.0.0.3");
    EXPECT_EQ(Result().result, LoginResult::kGood);
    EXPECT_EQ(Check("bob", "b0b", "10.0.0.4"), LoginResult::kBad) << "nor remembered";
}

// Whether an account has a name changes nothing in the answer to guesses on it: both names
// come under attack alike and their guessers are blocked alike.
TEST_F(LoginCheckerTest, ANameWithoutAnAccountIsAnsweredAsOneWithAnAccount) {
    for (const char* name : {"alice", "nobody"}) {
        SCOPED_TRACE(name);
        std::vector<LoginResult> results;
        for (const char* from : {"10.1.0.1", "10.1.0.2", "10.1.0.3"}) {
            results.push_back(Check(name, "wrong", from));
        }
        EXPECT_EQ(results, std::vector<LoginResult>(3, LoginResult::kBad));
        Begin(name, "wrong", "10.1.0.4");
        const LoginVerdict attacked = Result();
        EXPECT_EQ(attacked.result, LoginResult::kBad);
        EXPECT_EQ(attacked.blocked, milliseconds(1000)) << "blocked at its first failure";
    }
}

// A flood of made-up names, each from a fresh address, fills every place: a first login to an
// account, from a fresh address too, still takes the next turn, and one made-up name that waits
// alone keeps its turn (whether a name exists shows only under a flood of such names).
TEST_F(LoginCheckerAtCapacity, MadeUpNamesShareOneTurnAndAccountsKeepTheirs) {
    using Answers = std::vector<std::pair<std::string, LoginResult>>;
    // x1 runs, x2 to x4 wait; alice takes the place of the last of them, and the next turn.
    EXPECT_EQ(AtOnce({{"x1", "guess", "10.2.0.1"},
                      {"x2", "guess", "10.2.0.2"},
                      {"x3", "guess", "10.2.0.3"},
                      {"x4", "guess", "10.2.0.4"},
                      {"alice", "secret", "10.3.0.1"}}),
              (Answers{{"x4", LoginResult::kBusy},
                       {"x1", LoginResult::kBad},
                       {"alice", LoginResult::kGood},
                       {"x2", LoginResult::kBad},
                       {"x3", LoginResult::kBad}}));
    EXPECT_EQ(AtOnce({{"alice", "wrong", "10.4.0.1"},
                      {"nobody", "guess", "10.4.0.2"},
                      {"bob", "b0b", "10.4.0.3"}}),
              (Answers{{"alice", LoginResult::kBad},
                       {"nobody", LoginResult::kBad},
                       {"bob", LoginResult::kGood}}));
}

// At start-up nothing is remembered: users behind one address who all log in at once are
// answered busy while their address has its share of checks under way or no place is free,
// never as if their password were wrong and never blocked; each gets in when asking again.
TEST_F(LoginCheckerAtCapacity, AStartUpBurstFromOneAddressWaitsItsTurnsAndIsNeverBlocked) {
    std::vector<Attempt> burst;
    for (int i = 0; i < 8; ++i) {
        const std::string user = "u" + std::to_string(i);
        SetPassword(user, "pw-" + user);
        burst.push_back({user, "pw-" + user, "10.6.0.1"});
    }
    for (int round = 0; round < 8 && !burst.empty(); ++round) {
        std::vector<Attempt> again;
        for (const auto& [user, result] : AtOnce(burst)) {
            EXPECT_NE(result, LoginResult::kBad) << user;
            if (result == LoginResult::kBusy) again.push_back({user, "pw-" + user, "10.6.0.1"});
        }
        EXPECT_LT(again.size(), burst.size()) << "some get in at each round";
        burst = std::move(again);
    }
    EXPECT_TRUE(burst.empty());
    EXPECT_EQ(blocks_, 0);
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
    EXPECT_EQ(Status(Http("broken:") + Url("/hello")), "407") << "a digest that is no number";
}

}  // namespace
}  // namespace server_test
