// The real server against clients that misbehave on purpose or come from outside: each time the
// server must stay within its limits and keep serving everyone else.

#include <asio.hpp>
#include <random>
#include <tuple>

#include "tests/server/ServerHarness.h"
#include "tests/support/ScopedOverrides.h"
#include "tests/support/TestDb.h"

namespace server_test {
namespace {

// 0 under AddressSanitizer (red zones and a quarantine): memory is bounded in the plain build.
int64_t ResidentKiB(pid_t pid) {
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#endif
    const std::string status = test::ReadText("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::stoll(status.substr(at + 6));
}

using HostileClients = ServerTest;

// The handshake limit is a deadline for the whole head, not a pause between bytes: heads
// trickled a byte at a time are never answered and their connections end; others are served.
TEST_F(HostileClients, TricklingClientsAreEndedAtTheHandshakeDeadlineWhileOthersAreServed) {
    Start({{"anonymous_allow", "1"}, {"handshake_timeout", "2"}});
    Client http(listen_, 8000ms), socks(listen_, 8000ms);
    ASSERT_TRUE(socks.Send(std::string("\x05\x01\x00", 3)));
    ASSERT_EQ(socks.ReceiveExactly(2), std::string("\x05\x00", 2));
    // Each takes longer than the deadline to trickle (SOCKS5: a request for a long name).
    const std::string head = Get("/hello"), name(60, 'a');
    const std::string request =
        std::string("\x05\x01\x00\x03", 4) + char(name.size()) + name + std::string("\x00\x50", 2);
    for (size_t i = 0; i < head.size() && http.Send(head.substr(i, 1)); ++i) {
        if (i < request.size()) socks.Send(request.substr(i, 1));
        EXPECT_TRUE(i != 2 || OthersAreServed());  // served while the others trickle
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(http.Closed()) << "still open: the trickled head was let through";
    EXPECT_TRUE(socks.Closed());
    EXPECT_TRUE(OthersAreServed());
}

// One address guesses bob's password, then sprays names (an office's NAT, say): it is slowed
// and told to wait rather than asked for another password, raises few alarms, and alice behind
// the same address logs in at once, later by the credential checked before.
TEST_F(HostileClients, AFloodOfFailedLoginsRaisesFewAlarmsAndSlowsOnlyTheGuesser) {
    Start({{"anonymous_allow", "0"}});
    constexpr int kAttempts = 200;
    int refused = 0, busy = 0;
    const auto guess = [&](int i, const std::string& user) {
        Client client(listen_, 5s, 0, "127.0.0.5");
        if (i % 2 == 0) {
            client.Send(Get("/hello", Login(user, "guess" + std::to_string(i))));
            const std::string answer = client.ReceiveUntil("\r\n\r\n");
            refused += answer.starts_with("HTTP/1.1 407") || answer.starts_with("HTTP/1.1 503");
            busy += answer.starts_with("HTTP/1.1 503") &&
                    answer.find("\r\nRetry-After: ") != answer.npos;
        } else {
            refused += !client.Socks5(origin_.Port(), user, "guess");
        }
    };
    for (int i = 0; i < kAttempts / 4; ++i) guess(i, "bob");
    EXPECT_GT(busy, 0) << "told to come back, not asked for a password";
    EXPECT_EQ(Status("--interface 127.0.0.5 " + Http("alice:secret") + Url("/hello")), "200");
    for (int i = kAttempts / 4; i < kAttempts; ++i) guess(i, "n" + std::to_string(i));
    EXPECT_EQ(refused, kAttempts);
    EXPECT_EQ(Status("--interface 127.0.0.5 " + Http("alice:secret") + Url("/hello")), "200");
    EXPECT_TRUE(Client(listen_, 5s, 0, "127.0.0.5").Socks5(origin_.Port(), "alice", "secret"));
    EXPECT_EQ(Status("--interface 127.0.0.5 " + Http("bob:b0b") + Url("/hello")), "503")
        << "not checked from the guessing address now";

    EXPECT_TRUE(WaitUntil([] { return Count("select count(*) from alarms") > 0; }));
    std::this_thread::sleep_for(1500ms);  // the writer's batches and the one-second window
    EXPECT_LE(Count("select count(*) from alarms"), kAttempts / 3) << "one alarm per attempt";
    EXPECT_GE(Count("select count(*) from alarms where message like "
                    "'too many failed logins of \"bob\" from 127.0.0.5:%'"),
              1);
}

// Heads too large in any shape are refused with 431 and cost the server nothing lasting;
// requests an origin could frame otherwise than the proxy are refused with 400, not passed on.
TEST_F(HostileClients, HeaderBombsAndAmbiguousFramingAreRefusedAndClientTextIsStoredEscapedAndCut) {
    Start({{"anonymous_allow", "1"}});
    const int64_t before = ResidentKiB(server_->Pid());
    std::string manyFields;
    for (int i = 0; i < 20000; ++i) manyFields += "X-" + std::to_string(i) + ": y\r\n";
    const std::string post = "POST " + Url("/echo") + " HTTP/1.1\r\n";
    const std::string chunked = post + "Transfer-Encoding: chunked\r\n\r\n";
    const std::pair<std::string, std::string> requests[] = {
        {Get("/hello", manyFields), "431"},
        {"GET http://127.0.0.1/" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n", "431"},
        {post + "Content-Length : 5\r\n\r\nhello", "400"},
        {post + "Transfer-Encoding : chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", "400"},
        {chunked + "5;a\nb\r\nhello\r\n0\r\n\r\n", "400"},  // a bare LF in a chunk extension
        {chunked + "5\r\nhelloXY0\r\n\r\n", "400"},         // chunk data not ended by CRLF
        {Get("/hello", Login("eve\n\"x\" logged in\r\nlimit: ", "bad")), "407"},
        {Get("/hello", Login(std::string(12000, 'n'), "bad")), "407"},
        {"GET " + Url("/hello?" + std::string(8000, 'q')).insert(7, "ann:secret@") +
             " HTTP/1.1\r\n\r\n",
         "404"},  // passed on (the origin knows no query); stored without the password
    };
    for (const auto& [request, status] : requests) {
        EXPECT_EQ(Ask(request).substr(0, 12), "HTTP/1.1 " + status) << request.substr(0, 100);
    }
    EXPECT_TRUE(OthersAreServed());
    EXPECT_LT(ResidentKiB(server_->Pid()) - before, 16 * 1024);
    // Stored escaped and cut: a name with a newline and a quote forges no line or alarm, a long
    // one is cut, a URL loses its userinfo and is kept to 2 KiB.
    const std::string cutUrl =
        "select count(*) from history where length(url) <= 2048 and url like "
        "'http://127.0.0.1:%/hello?qqq%...[cut]'";
    const std::string eve =
        "select count(*) from alarms where message like '%eve\\x0a\"x\" logged%'";
    // Rows are written in batches, in no set order: each one read is waited for.
    EXPECT_TRUE(WaitUntil([&] { return Count(cutUrl) == 1 && Count(eve) == 1; }));
    EXPECT_TRUE(WaitUntil([] { return Count("select count(*) from alarms") >= 2; }));
    EXPECT_EQ(Count("select count(*) from alarms where instr(message, char(10)) or "
                    "instr(message, char(13)) or length(message) > 1024"),
              0);
}

// 1xx, 204 and 304 responses and answers to HEAD end at their empty line whatever length they
// announce, so what follows never answers the next request; HTTP/1.0 gets no interim response.
// When the origin drops a kept-alive connection unanswered, only a safe request without a body
// is sent again: a DELETE, a POST or a GET with a body, which it may have acted on, earns 502.
TEST_F(HostileClients, AnswersEndAtTheirFramingAndRequestsThatMayHaveChangedSomethingGoOnce) {
    Start({{"anonymous_allow", "1"}});
    Origin other;
    const std::string inner = Answer("injected");
    const std::string head = " X\r\nContent-Length: " + std::to_string(inner.size()) + "\r\n\r\n";
    for (const auto& [method, status, version, answer] :
         {std::tuple<std::string, std::string, std::string, std::string>{"GET", "204", "1.1",
                                                                         "HTTP/1.1 204" + head},
          {"GET", "304", "1.1", "HTTP/1.1 304" + head},
          {"HEAD", "200", "1.1", "HTTP/1.1 200" + head},
          {"GET", "100", "1.1", "HTTP/1.1 100" + head + inner},  // then the final one
          {"GET", "100", "1.0", inner}}) {
        EXPECT_EQ(Ask(method + " " + Url("/inject/" + status) + " HTTP/" + version +
                          "\r\nConnection: keep-alive\r\n\r\nGET " + Url("/hello", other.Port()) +
                          " HTTP/" + version + "\r\n\r\n",
                      "hello world"),
                  answer + Answer("hello world"))
            << method << " " << status << " HTTP/" << version;
    }
    for (const std::string& unsafe :
         {"DELETE " + Url("/hello") + " HTTP/1.1\r\n\r\n",
          "POST " + Url("/hello") + " HTTP/1.1\r\nContent-Length: 1\r\n\r\nx",
          "GET " + Url("/echo") + " HTTP/1.1\r\nContent-Length: 1\r\n\r\nx"}) {
        Client client(listen_);
        ASSERT_TRUE(client.Send(Get("/bye")));
        ASSERT_EQ(client.ReceiveUntil("bye"), Answer("bye"));
        const int connections = origin_.Connections();
        client.Send(unsafe);
        EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 502") << unsafe;
        EXPECT_EQ(origin_.Connections(), connections);
    }
    // Framing HTTP/1.0 does not have, and versions the proxy does not speak, go nowhere.
    const int connections = origin_.Connections();
    for (const auto& [request, status] :
         {std::pair{"POST " + Url("/echo") +
                        " HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n",
                    "HTTP/1.1 400"},
          {"GET " + Url("/hello") + " HTTP/1.2\r\n\r\n", "HTTP/1.1 505"},
          {"GET " + Url("/hello") + " HTTP/2.0\r\n\r\n", "HTTP/1.1 505"}}) {
        EXPECT_EQ(Ask(request).substr(0, 12), status) << request;
    }
    EXPECT_EQ(origin_.Connections(), connections);
}

// Names whose DNS server never answers hold up only the connections that asked for them: a name
// from /etc/hosts and address literals are served meanwhile, the waiting ones get 504 when their
// upstream time is up. A closed port earns 502, a silent origin 504, the control port 403; an
// upload that keeps moving is not cut off, as the response wait starts once it is whole.
TEST_F(HostileClients, SilentAndUnreachableDestinationsHoldUpOnlyTheirOwnConnections) {
    asio::io_context io;
    asio::ip::udp::socket dns(io, {asio::ip::address_v4::loopback(), 0});
    dns.non_blocking(true);
    {
        test::ScopedEnv silent("TORVO_DNS_SERVER",
                               "127.0.0.1:" + std::to_string(dns.local_endpoint().port()));
        Start({{"anonymous_allow", "1"}, {"upstream_timeout", "3"}, {"response_timeout", "1"}});
    }
    std::vector<std::unique_ptr<Client>> waiting;
    for (int i = 0; i < 4; ++i) {
        waiting.push_back(std::make_unique<Client>(listen_, 8000ms));
        waiting.back()->Send("CONNECT silent-" + std::to_string(i) +
                             ".example:443 HTTP/1.1\r\n\r\n");
    }
    int queries = 0;
    char datagram[512];
    asio::error_code none;
    EXPECT_TRUE(WaitUntil([&] {
        while (dns.receive(asio::buffer(datagram), 0, none) > 0) ++queries;
        return queries >= 4;
    }));
    for (const char* host : {"localhost", "127.0.0.1"}) {
        const std::string url = Url("/hello").replace(7, 9, host);
        EXPECT_EQ(Ask("GET " + url + " HTTP/1.1\r\n\r\n", "hello world"), Answer("hello world"))
            << host;
    }
    const std::string connect = "-o /dev/null -w %{http_connect} -p " + Http();
    const uint16_t closed = FreePort();
    EXPECT_EQ(Status(Http() + Url("/", closed)), "502");
    EXPECT_EQ(Curl(Socks() + Url("/", closed)).exitCode, 97);
    EXPECT_EQ(Curl(connect + Url("/", closed)).output, "502");
    EXPECT_EQ(Status(Http() + Url("/silent")), "504");
    EXPECT_EQ(Status(Http() + Url("/", control_)), "403");
    for (const auto& client : waiting) {
        EXPECT_EQ(client->ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 504");
    }
    Client upload(listen_, 8000ms);
    const std::string body = "0123456789";
    ASSERT_TRUE(upload.Send("POST " + Url("/echo") + " HTTP/1.1\r\nContent-Length: 10\r\n\r\n"));
    for (const char c : body) {
        std::this_thread::sleep_for(400ms);
        ASSERT_TRUE(upload.Send(std::string(1, c)));
    }
    EXPECT_EQ(upload.ReceiveUntil(body), Answer(body));
}

TEST_F(HostileClients, AClientThatStopsReadingHoldsLittleAndIsEndedWhenIdle) {
    Start({{"anonymous_allow", "1"}, {"idle_timeout", "3"}});
    const int64_t before = ResidentKiB(server_->Pid());
    // Small fixed receive buffers: the kernel cannot hold the answers either.
    Client http(listen_, 10000ms, 65536), socks(listen_, 10000ms, 65536);
    ASSERT_TRUE(http.Send(Get("/bytes/67108864")));
    ASSERT_TRUE(socks.Socks5(origin_.Port()));
    ASSERT_TRUE(socks.Send("GET /bytes/67108864 HTTP/1.1\r\nHost: o\r\n\r\n"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(OthersAreServed());
    EXPECT_LT(ResidentKiB(server_->Pid()) - before, 16 * 1024) << "the answers are buffered";
    // Past the idle time-out the answers end cut short (whole, they would leave these open).
    std::this_thread::sleep_for(6500ms);
    EXPECT_TRUE(http.Closed()) << "HTTP";
    EXPECT_TRUE(socks.Closed()) << "SOCKS5";
}

// Turned away at once: a client beyond max_connections, one beyond its address's share (a
// quarter by default). The handshake time-out ends a silent client, not a tunnel. Each from an
// address of its own, so that each limit shows alone.
TEST_F(HostileClients, ConnectionsBeyondTheLimitsAndSilentOnesAreTurnedAway) {
    Start({{"anonymous_allow", "1"}, {"handshake_timeout", "2"}, {"max_connections", "4"}});
    Client first(listen_), silent(listen_, 5s, 0, "127.0.0.2");
    ASSERT_TRUE(first.Socks5(origin_.Port()));
    EXPECT_FALSE(Client(listen_).Socks5(origin_.Port())) << "beyond the share of 1";
    Client third(listen_, 5s, 0, "127.0.0.3"), fourth(listen_, 5s, 0, "127.0.0.4");
    ASSERT_TRUE(third.Socks5(origin_.Port()) && fourth.Socks5(origin_.Port()));
    EXPECT_FALSE(Client(listen_, 5s, 0, "127.0.0.5").Socks5(origin_.Port())) << "a fifth";
    EXPECT_TRUE(
        WaitUntil([&] { return Count("select count(*) from alarms where source='limit'") == 1; }));
    EXPECT_EQ(silent.ReceiveToEnd(), "");
    EXPECT_FALSE(first.Closed(200ms));
}

// The control channel answers root and the server's own account only, holds few connections
// at once and ends idle ones; another local account gets no byte. Requests the console never
// sends get an error reply or a closed connection, and the server goes on answering.
TEST_F(HostileClients, TheControlChannelServesItsOwnAccountFewAtOnceAndNotForLong) {
    Start({{"idle_timeout", "2"}});
    const pid_t child = ::fork();
    if (child == 0) {  // as nobody
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        Client other(control_, 3000ms);
        ::_exit(other.Send("statistic\n") && other.ReceiveUntil("\r\n").empty() ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "nobody was answered";
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 17; ++i) held.push_back(std::make_unique<Client>(control_, 4000ms));
    EXPECT_TRUE(held.back()->Closed()) << "a 17th connection";
    ASSERT_TRUE(held[0]->Send("bogus\r\n\r\n" + std::string(300, 'a')));
    const std::string framed = "42\r\n{\"err_code\":1,\"err_msg\":\"unknown command\"}";
    EXPECT_EQ(held[0]->ReceiveToEnd(), framed + framed) << "the endless line ends the connection";
    ASSERT_TRUE(held[1]->Send("engine\n"));
    EXPECT_NE(held[1]->ReceiveUntil("-"), "");
    EXPECT_TRUE(held[1]->Closed()) << "idle for the idle time-out";
    held.clear();

    // applyconf answers within the console's wait whatever main.db does: here its lock is held
    // longer than that.
    std::string reply;
    ASSERT_TRUE(UseDatabase([&](CppSQLite3DB&) {
        link_.ApplyConf(reply);
        std::this_thread::sleep_for(1s);
    }));
    EXPECT_NE(reply.find("\"err_code\":1"), std::string::npos) << reply;
    EXPECT_NE(reply.find("busy"), std::string::npos) << reply;
    EXPECT_TRUE(ApplyConf()) << "once main.db is free";
}

// Outsiders are named in an alarm; applyconf ends the sessions of a network taken off the list.
// 127.0.0.2 is a second loopback address, outside a list of 127.0.0.1/32.
TEST_F(HostileClients, OutsidersAreClosedAtAcceptAndApplyConfEndsTheirLiveSessions) {
    Start({{"anonymous_allow", "1"}, {"allowed_networks", "127.0.0.1/32"}}, {});
    const std::string http = Http() + Url("/hello"), socks = Socks() + Url("/hello");
    const std::string v6 = "-x http://[::1]:" + std::to_string(listen_) + " " + Url("/hello");
    for (const std::string& client : {http, "-p " + http, socks}) {
        EXPECT_EQ(Curl(client).output, "hello world") << client;
        const auto outsider = Curl("--interface 127.0.0.2 " + client);
        EXPECT_NE(outsider.exitCode, 0) << client;
        EXPECT_EQ(outsider.output, "") << client;
    }
    EXPECT_NE(Curl(v6).exitCode, 0) << "::1 is outside too";
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
    EXPECT_EQ(Curl(v6).output, "hello world");
    EXPECT_NE(Curl(http).exitCode, 0);
}

TEST_F(HostileClients, KillNineWhileHistoryIsWrittenLeavesASoundDatabase) {
    ResetDatabase({{"anonymous_allow", "1"}}, {});
    std::mt19937 random(12345);
    int64_t stored = 0;
    constexpr int kKills = 100;
    for (int round = 0; round < kKills; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(Serve());
        std::atomic<bool> stop{false};
        std::thread traffic([&] {
            Client client(listen_, 1000ms);
            while (!stop && client.Send(Get("/hello")) &&
                   client.ReceiveUntil("hello world").find("hello world") != std::string::npos) {
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 250));
        ::kill(server_->Pid(), SIGKILL);
        stop = true;
        traffic.join();
        server_.reset();  // reaps the killed process
        ASSERT_EQ(test::Rows(MainDb(), "pragma integrity_check"), std::vector<std::string>{"ok"});
        const int64_t now = Count("select count(*) from history");
        ASSERT_GE(now, stored);
        stored = now;
    }
    EXPECT_GT(stored, 0);
}

}  // namespace
}  // namespace server_test
