// The real server against clients that misbehave on purpose: trickling heads, login floods,
// header bombs, pipelining and half-closing, clients that stop reading, thousands of idle
// connections, every way to a tunnel without the right credentials, and kill -9 while history
// is written. Each time the server must stay within its limits and keep serving everyone else.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Common/Database.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

// Under AddressSanitizer every allocation carries red zones and a quarantine: memory bounds
// are checked in the plain build only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

// One raw client connection with bounded receives.
class Raw {
public:
    // receiveBuffer: a fixed kernel receive buffer instead of the growing default; from: the
    // client's own loopback address (127.0.0.1 by default).
    explicit Raw(uint16_t port, std::chrono::milliseconds receiveLimit = 5000ms,
                 int receiveBuffer = 0, uint32_t from = INADDR_LOOPBACK) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(from);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        timeval limit{static_cast<time_t>(receiveLimit.count() / 1000),
                      static_cast<suseconds_t>(receiveLimit.count() % 1000 * 1000)};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;
    ~Raw() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }
    // Receives until `marker` has arrived, the peer closes, or a receive times out.
    std::string ReceiveUntil(std::string_view marker) {
        std::string received;
        char chunk[16384];
        while (received.find(marker) == std::string::npos) {
            const ssize_t count = ::recv(fd_, chunk, sizeof chunk, 0);
            if (count <= 0) break;
            received.append(chunk, static_cast<size_t>(count));
        }
        return received;
    }
    std::string ReceiveExactly(size_t count) {
        std::string received;
        char chunk[4096];
        while (received.size() < count) {
            const ssize_t got =
                ::recv(fd_, chunk, std::min(sizeof chunk, count - received.size()), 0);
            if (got <= 0) break;
            received.append(chunk, static_cast<size_t>(got));
        }
        return received;
    }
    // True when the peer ends the connection (end of stream or reset) before the receive
    // limit; bytes that arrive first are skipped.
    bool Closed() {
        char chunk[16384];
        for (;;) {
            const ssize_t count = ::recv(fd_, chunk, sizeof chunk, 0);
            if (count == 0 || (count < 0 && errno == ECONNRESET)) return true;
            if (count < 0) return false;
        }
    }

private:
    int fd_ = -1;
};

std::string Base64(std::string_view text) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < text.size(); i += 3) {
        const size_t n = std::min<size_t>(3, text.size() - i);
        uint32_t bits = 0;
        for (size_t j = 0; j < 3; ++j) bits = bits << 8 | (j < n ? uint8_t(text[i + j]) : 0);
        for (size_t j = 0; j < 4; ++j) out += j <= n ? kAlphabet[bits >> (18 - 6 * j) & 63] : '=';
    }
    return out;
}

int64_t ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
    }
    return -1;
}

class HostileClients : public ::testing::Test {
protected:
    void Start(const Rows& configuration) {
        ResetDatabase(configuration, {{"alice", "secret"}});
        listen_ = FreePort();
        control_ = FreePort();
        server_ = std::make_unique<ServerProcess>(listen_, control_);
        ASSERT_TRUE(server_->Ready());
    }
    std::string Get(const std::string& path, const std::string& extra = "") const {
        const std::string origin = "127.0.0.1:" + std::to_string(origin_.Port());
        return "GET http://" + origin + path + " HTTP/1.1\r\nHost: " + origin + "\r\n" + extra +
               "\r\n";
    }
    static std::string Login(const std::string& user, const std::string& password) {
        return "Proxy-Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
    }
    // A well-behaved client gets its page while the others misbehave.
    bool OthersAreServed() {
        Raw client(listen_);
        return client.ok() && client.Send(Get("/hello", Login("alice", "secret"))) &&
               client.ReceiveUntil("hello world").find("hello world") != std::string::npos;
    }
    // A SOCKS5 connect request for the origin.
    std::string SocksConnect() const {
        std::string request("\x05\x01\x00\x01\x7f\x00\x00\x01", 8);
        request += char(origin_.Port() >> 8);
        request += char(origin_.Port() & 0xFF);
        return request;
    }

    HttpOrigin origin_;
    uint16_t listen_ = 0;
    uint16_t control_ = 0;
    std::unique_ptr<ServerProcess> server_;
};

// The handshake limit is a deadline for the whole head, not a pause between bytes.
TEST_F(HostileClients, TricklingClientsAreEndedAtTheHandshakeDeadlineWhileOthersAreServed) {
    Start({{"anonymous_allow", "1"}, {"handshake_timeout", "2"}});
    Raw http(listen_, 8000ms);
    Raw socks(listen_, 8000ms);
    ASSERT_TRUE(http.ok() && socks.ok());
    ASSERT_TRUE(socks.Send(std::string("\x05\x01\x00", 3)));
    ASSERT_EQ(socks.ReceiveExactly(2), std::string("\x05\x00", 2));
    const std::string head = Get("/hello");
    // A request for a long name: whole, it would take longer than the deadline to trickle.
    const std::string name(60, 'a');
    const std::string request =
        std::string("\x05\x01\x00\x03", 4) + char(name.size()) + name + std::string("\x00\x50", 2);
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < head.size() && std::chrono::steady_clock::now() - start < 6s; ++i) {
        if (!http.Send(head.substr(i, 1))) break;
        if (i < request.size()) socks.Send(request.substr(i, 1));
        if (i == 2) {
            EXPECT_TRUE(OthersAreServed());
        }
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_TRUE(http.Closed());
    EXPECT_TRUE(socks.Closed());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    EXPECT_TRUE(OthersAreServed());
}

// An upload that keeps moving is not cut off however long it takes: the wait for the
// response head starts once the request is whole.
TEST_F(HostileClients, ASlowButProgressingUploadOutlastsTheResponseWait) {
    Start({{"anonymous_allow", "1"}, {"upstream_timeout", "1"}, {"response_timeout", "1"}});
    Raw client(listen_, 8000ms);
    const std::string body = "0123456789";
    ASSERT_TRUE(client.Send("POST http://127.0.0.1:" + std::to_string(origin_.Port()) +
                            "/echo HTTP/1.1\r\nContent-Length: 10\r\n\r\n"));
    for (const char c : body) {
        std::this_thread::sleep_for(400ms);
        ASSERT_TRUE(client.Send(std::string(1, c)));
    }
    EXPECT_NE(client.ReceiveUntil(body).find("200 OK\r\nContent-Length: 10\r\n\r\n" + body),
              std::string::npos);
}

// Failed logins raise alarms, but a flood of them is rate-limited; the account still works.
TEST_F(HostileClients, AFloodOfFailedLoginsRaisesFewAlarmsAndLocksNobodyOut) {
    Start({{"anonymous_allow", "0"}});
    constexpr int kAttempts = 200;
    int refused = 0;
    for (int i = 0; i < kAttempts; ++i) {
        Raw client(listen_);
        if (i % 2 == 0) {
            client.Send(Get("/hello", Login("alice", "guess" + std::to_string(i))));
            refused += client.ReceiveUntil("\r\n\r\n").rfind("HTTP/1.1 407", 0) == 0;
        } else {
            client.Send(std::string("\x05\x01\x02", 3));
            client.ReceiveExactly(2);
            client.Send(
                std::string("\x01\x05"
                            "alice\x05"
                            "guess",
                            13));
            refused += client.ReceiveExactly(2) == std::string("\x01\x01", 2);
        }
    }
    EXPECT_EQ(refused, kAttempts);
    EXPECT_TRUE(WaitUntil([] { return Count("select count(*) from alarms") > 0; }));
    std::this_thread::sleep_for(1500ms);  // the writer's batches and the one-second window
    const int64_t alarms = Count("select count(*) from alarms");
    EXPECT_GE(alarms, 1);
    EXPECT_LE(alarms, kAttempts / 4) << "one alarm per attempt is a flood of its own";
    // The guessing address is held back; the account still works from any other.
    EXPECT_EQ(Curl("-o /dev/null -w %{http_code} --interface 127.0.0.2 -U alice:secret -x "
                   "127.0.0.1:" +
                   std::to_string(listen_) + " http://127.0.0.1:" + std::to_string(origin_.Port()) +
                   "/hello")
                  .output,
              "200");
}

// Heads too large in any shape are refused with 431 and cost the server nothing lasting.
TEST_F(HostileClients, HeaderBombsOfManyFieldsOrOneEndlessLineAreRefused) {
    Start({{"anonymous_allow", "1"}});
    const int64_t before = ResidentKiB(server_->Pid());
    std::string manyFields;
    for (int i = 0; i < 20000; ++i) manyFields += "X-" + std::to_string(i) + ": y\r\n";
    const std::string bombs[] = {
        Get("/hello", manyFields),
        "GET http://127.0.0.1/" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n"};
    for (const std::string& bomb : bombs) {
        Raw client(listen_);
        client.Send(bomb);  // the server may close before all of it is sent
        EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 431");
    }
    EXPECT_TRUE(OthersAreServed());
    if (kMeasuresMemory) {
        EXPECT_LT(ResidentKiB(server_->Pid()) - before, 16 * 1024);
    }
}

// Several requests in one write are answered in order; a client that half-closes after its
// request still gets the whole answer, through the HTTP proxy and through a tunnel.
TEST_F(HostileClients, PipelinedRequestsAndHalfClosedClientsGetEveryAnswer) {
    Start({{"anonymous_allow", "1"}});
    {
        Raw client(listen_);
        ASSERT_TRUE(client.Send(Get("/hello") + Get("/chunked") + Get("/bytes/5")));
        const std::string answers = client.ReceiveUntil("xxxxx");
        const size_t hello = answers.find("hello world");
        const size_t chunked = answers.find("3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n");
        const size_t bytes = answers.find("xxxxx");
        ASSERT_NE(bytes, std::string::npos) << answers;
        EXPECT_LT(hello, chunked);
        EXPECT_LT(chunked, bytes);
    }
    {
        Raw client(listen_);
        ASSERT_TRUE(client.Send(Get("/bytes/100000", "Connection: close\r\n")));
        ::shutdown(client.fd(), SHUT_WR);
        EXPECT_NE(client.ReceiveUntil(std::string(100000, 'x')).find(std::string(100000, 'x')),
                  std::string::npos);
    }
    {
        Raw client(listen_);
        client.Send(std::string("\x05\x01\x00", 3));
        client.ReceiveExactly(2);
        client.Send(SocksConnect());
        ASSERT_EQ(client.ReceiveExactly(10).substr(0, 2), std::string("\x05\x00", 2));
        ASSERT_TRUE(
            client.Send("GET /bytes/100000 HTTP/1.1\r\nHost: o\r\nConnection: close\r\n\r\n"));
        ::shutdown(client.fd(), SHUT_WR);
        EXPECT_NE(client.ReceiveUntil(std::string(100000, 'x')).find(std::string(100000, 'x')),
                  std::string::npos);
    }
}

// 1xx, 204 and 304 responses and answers to HEAD end at their empty line whatever length
// they announce: what follows them is never passed on as the answer to the client's next
// request (here to another origin). An HTTP/1.0 client gets no interim response.
TEST_F(HostileClients, BodilessResponsesEndAtTheirHeadSoNoOriginAnswersForAnother) {
    Start({{"anonymous_allow", "1"}});
    HttpOrigin other;
    const std::string inner = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\ninjected";
    const std::string head = " X\r\nContent-Length: " + std::to_string(inner.size()) + "\r\n\r\n";
    struct Case {
        std::string method, status, version, answer;
    };
    const std::vector<Case> cases = {
        {"GET", "204", "1.1", "HTTP/1.1 204" + head},
        {"GET", "304", "1.1", "HTTP/1.1 304" + head},
        {"HEAD", "200", "1.1", "HTTP/1.1 200" + head},
        // After an interim response comes the final one.
        {"GET", "100", "1.1", "HTTP/1.1 100" + head + inner},
        {"GET", "100", "1.0", inner},
    };
    for (const Case& c : cases) {
        Raw client(listen_);
        client.Send(c.method + " http://127.0.0.1:" + std::to_string(origin_.Port()) + "/inject/" +
                    c.status + " HTTP/" + c.version + "\r\nConnection: keep-alive\r\n\r\n" +
                    "GET http://127.0.0.1:" + std::to_string(other.Port()) + "/hello HTTP/" +
                    c.version + "\r\n\r\n");
        EXPECT_EQ(client.ReceiveUntil("hello world"),
                  c.answer + "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world")
            << c.method << " " << c.status << " HTTP/" << c.version;
    }
}

// Requests that an origin could frame otherwise than the proxy are refused, not passed on.
TEST_F(HostileClients, RequestsAnOriginCouldFrameDifferentlyAreRefused) {
    Start({{"anonymous_allow", "1"}});
    const std::string post = "POST http://127.0.0.1:" + std::to_string(origin_.Port()) + "/echo";
    const std::string chunked = " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string requests[] = {
        post + " HTTP/1.1\r\nContent-Length : 5\r\n\r\nhello",
        post + " HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
        post + chunked + "5;a\nb\r\nhello\r\n0\r\n\r\n",  // a bare LF in a chunk extension
        post + chunked + "5\r\nhelloXY0\r\n\r\n",         // chunk data not ended by CRLF
    };
    for (const std::string& request : requests) {
        Raw client(listen_);
        client.Send(request);
        EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 400") << request;
    }
    EXPECT_TRUE(OthersAreServed());
}

// When the origin drops a kept-alive connection unanswered, only a safe request without a
// body is sent again: a DELETE or a POST it may have carried out is answered 502.
TEST_F(HostileClients, RequestsThatMayHaveChangedSomethingAreNeverSentTwice) {
    Start({{"anonymous_allow", "1"}});
    const std::string origin = "http://127.0.0.1:" + std::to_string(origin_.Port());
    for (const std::string& unsafe :
         {"DELETE " + origin + "/hello HTTP/1.1\r\n\r\n",
          "POST " + origin + "/hello HTTP/1.1\r\nContent-Length: 1\r\n\r\nx"}) {
        Raw client(listen_);
        ASSERT_TRUE(client.Send("GET " + origin + "/bye HTTP/1.1\r\n\r\n"));
        ASSERT_NE(client.ReceiveUntil("bye").find("bye"), std::string::npos);
        const int connections = origin_.Connections();
        client.Send(unsafe);
        EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 502") << unsafe;
        EXPECT_EQ(origin_.Connections(), connections);
    }
}

// Names whose DNS server never answers hold up only the connections that asked for them: a
// name from /etc/hosts and an address literal are served meanwhile, and the waiting
// connections get 504 when their upstream time is up, whatever the resolver still does.
TEST_F(HostileClients, ASilentDnsServerHoldsUpOnlyTheLookupsSentToIt) {
    const int dns = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(dns, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(dns, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    ::setenv("TORVO_DNS_SERVER", server.c_str(), 1);
    Start({{"anonymous_allow", "1"}, {"upstream_timeout", "3"}});
    ::unsetenv("TORVO_DNS_SERVER");
    std::vector<std::unique_ptr<Raw>> waiting;
    for (int i = 0; i < 4; ++i) {
        waiting.push_back(std::make_unique<Raw>(listen_, 8000ms));
        waiting.back()->Send("CONNECT silent-" + std::to_string(i) +
                             ".example:443 HTTP/1.1\r\n\r\n");
    }
    int queries = 0;
    char datagram[512];
    EXPECT_TRUE(WaitUntil([&] {
        while (::recv(dns, datagram, sizeof datagram, MSG_DONTWAIT) > 0) ++queries;
        return queries >= 4;
    }));
    for (const char* host : {"localhost", "127.0.0.1"}) {
        Raw client(listen_);
        client.Send(std::string("GET http://") + host + ":" + std::to_string(origin_.Port()) +
                    "/hello HTTP/1.1\r\n\r\n");
        EXPECT_NE(client.ReceiveUntil("hello world").find("hello world"), std::string::npos)
            << host;
    }
    for (const auto& client : waiting) {
        EXPECT_EQ(client->ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 504");
    }
    ::close(dns);
}

// A client that asks for a large answer and stops reading holds only bounded buffers, is
// ended by the idle time-out, and slows nobody else.
TEST_F(HostileClients, AClientThatStopsReadingHoldsLittleAndIsEndedWhenIdle) {
    Start({{"anonymous_allow", "1"}, {"idle_timeout", "3"}});
    const int64_t before = ResidentKiB(server_->Pid());
    // Small fixed receive buffers, so that the kernel cannot hold the answers either.
    Raw http(listen_, 10000ms, 65536);
    Raw socks(listen_, 10000ms, 65536);
    ASSERT_TRUE(http.Send(Get("/bytes/67108864")));
    socks.Send(std::string("\x05\x01\x00", 3));
    socks.ReceiveExactly(2);
    socks.Send(SocksConnect());
    ASSERT_EQ(socks.ReceiveExactly(10).substr(0, 2), std::string("\x05\x00", 2));
    ASSERT_TRUE(socks.Send("GET /bytes/67108864 HTTP/1.1\r\nHost: o\r\n\r\n"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(OthersAreServed());
    if (kMeasuresMemory) {
        EXPECT_LT(ResidentKiB(server_->Pid()) - before, 16 * 1024)
            << "the answers are not buffered";
    }
    // Well past the idle time-out the server has given up: reading now ends early, the
    // answers cut short.
    std::this_thread::sleep_for(6500ms);
    for (Raw* client : {&http, &socks}) {
        SCOPED_TRACE(client == &http ? "HTTP" : "SOCKS5");
        size_t received = 0;
        char chunk[65536];
        ssize_t count;
        while ((count = ::recv(client->fd(), chunk, sizeof chunk, 0)) > 0) received += count;
        EXPECT_TRUE(count == 0 || errno == ECONNRESET) << "still open after " << received;
        EXPECT_LT(received, 67108864u);
    }
}

// Ten thousand connections at once: within the configured maximum the server holds them
// cheaply and still serves.
TEST_F(HostileClients, TenThousandIdleConnectionsAreHeldCheaply) {
    constexpr int kConnections = 10000;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < kConnections + 500) GTEST_SKIP() << "descriptor limit " << limit.rlim_max;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    Start({{"anonymous_allow", "1"},
           {"max_connections", "20000"},
           {"max_connections_per_ip", "20000"}});
    const int64_t before = ResidentKiB(server_->Pid());
    std::vector<std::unique_ptr<Raw>> idle;
    for (int i = 0; i < kConnections; ++i) {
        idle.push_back(std::make_unique<Raw>(listen_));
        ASSERT_TRUE(idle.back()->ok()) << i;
        // Half of them are past the greeting, waiting to name a destination.
        if (i % 2 == 0) idle.back()->Send(std::string("\x05\x01\x00", 3));
    }
    EXPECT_TRUE(OthersAreServed());
    const int64_t grown = ResidentKiB(server_->Pid()) - before;
    if (kMeasuresMemory) {
        EXPECT_LT(grown, kConnections * 20) << "KiB for " << kConnections;
    }
}

// One address filling max_connections with silent connections gets only its share (a quarter
// by default); the others are still served.
TEST_F(HostileClients, OneAddressGetsOnlyItsShareOfTheConnections) {
    Start({{"anonymous_allow", "1"}, {"max_connections", "8"}});
    std::vector<std::unique_ptr<Raw>> silent;
    for (int i = 0; i < 8; ++i) {
        silent.push_back(std::make_unique<Raw>(listen_, 5000ms, 0, INADDR_LOOPBACK + 1));
    }
    EXPECT_TRUE(silent.back()->Closed()) << "beyond its share of 2";
    EXPECT_TRUE(OthersAreServed());
}

// What clients send is stored and logged escaped and cut: a user name with a newline and a
// quote cannot forge a line or an alarm, a long one is cut, a URL loses its userinfo and is
// kept to 2 KiB.
TEST_F(HostileClients, ClientTextIsStoredEscapedCutAndWithoutPasswords) {
    Start({{"anonymous_allow", "1"}});
    const std::string forged = "eve\n\"x\" logged in\r\nlimit: ";
    for (const std::string& user : {forged, std::string(12000, 'n')}) {
        Raw client(listen_);
        client.Send(Get("/hello", Login(user, "bad")));
        EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 407");
    }
    {
        Raw client(listen_);
        const std::string origin = "127.0.0.1:" + std::to_string(origin_.Port());
        client.Send("GET http://ann:secret@" + origin + "/hello?" + std::string(8000, 'q') +
                    " HTTP/1.1\r\nHost: " + origin + "\r\n\r\n");
        client.ReceiveUntil("\r\n\r\n");
    }
    ASSERT_TRUE(WaitUntil([] {
        return Count("select count(*) from alarms") >= 2 && Count("select count(*) from history");
    }));
    EXPECT_EQ(Count("select count(*) from alarms where message like '%eve\\x0a\"x\" logged%'"), 1);
    EXPECT_EQ(Count("select count(*) from alarms where instr(message, char(10)) or "
                    "instr(message, char(13)) or length(message) > 1024"),
              0);
    EXPECT_EQ(Count("select count(*) from history where length(url) <= 2048 and url like "
                    "'http://127.0.0.1:%/hello?qqq%...[cut]'"),
              1);
}

// The control channel answers root and the server's own account only, holds few connections
// at once and ends idle ones; another local account gets no byte.
TEST_F(HostileClients, TheControlChannelServesItsOwnAccountFewAtOnceAndNotForLong) {
    Start({{"idle_timeout", "2"}});
    const pid_t child = ::fork();
    if (child == 0) {  // as nobody
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        Raw other(control_, 3000ms);
        ::_exit(other.Send("statistic\n") && other.ReceiveUntil("\r\n").empty() ? 0 : 1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "nobody was answered";
    std::vector<std::unique_ptr<Raw>> held;
    for (int i = 0; i < 17; ++i) held.push_back(std::make_unique<Raw>(control_, 4000ms));
    EXPECT_TRUE(held.back()->Closed()) << "a 17th connection";
    held.pop_back();
    ASSERT_TRUE(held.front()->Send("engine\n"));
    EXPECT_NE(held.front()->ReceiveUntil("-"), "");
    EXPECT_TRUE(held.front()->Closed()) << "idle for the idle time-out";
}

// No way to a tunnel or an origin skips the password check: every method, with the
// anonymous switch off and on, with no, wrong and right credentials.
TEST_F(HostileClients, EveryPathToAnOriginChecksTheSameCredentials) {
    enum class Path { kAbsolute, kConnect, kSocksNone, kSocksLogin };
    struct Case {
        Path path;
        bool anonymous;
        std::string password;  // "" no credentials
        bool allowed;
    };
    const std::vector<Case> cases = {
        {Path::kAbsolute, false, "", false},      {Path::kAbsolute, false, "bad", false},
        {Path::kAbsolute, false, "secret", true}, {Path::kAbsolute, true, "", true},
        {Path::kAbsolute, true, "bad", false},    {Path::kAbsolute, true, "secret", true},
        {Path::kConnect, false, "", false},       {Path::kConnect, false, "bad", false},
        {Path::kConnect, false, "secret", true},  {Path::kConnect, true, "", true},
        {Path::kConnect, true, "bad", false},     {Path::kConnect, true, "secret", true},
        {Path::kSocksNone, false, "", false},     {Path::kSocksNone, true, "", true},
        {Path::kSocksLogin, false, "bad", false}, {Path::kSocksLogin, false, "secret", true},
        {Path::kSocksLogin, true, "bad", false},  {Path::kSocksLogin, true, "secret", true},
    };
    const std::string inner = "GET /hello HTTP/1.1\r\nHost: o\r\n\r\n";
    for (const bool anonymous : {false, true}) {
        Start({{"anonymous_allow", anonymous ? "1" : "0"}});
        for (const Case& c : cases) {
            if (c.anonymous != anonymous) continue;
            const std::string login = c.password.empty() ? "" : Login("alice", c.password);
            Raw client(listen_);
            std::string answer;
            switch (c.path) {
                case Path::kAbsolute:
                    client.Send(Get("/hello", login));
                    answer = client.ReceiveUntil("hello world");
                    break;
                case Path::kConnect: {
                    const std::string origin = "127.0.0.1:" + std::to_string(origin_.Port());
                    client.Send("CONNECT " + origin + " HTTP/1.1\r\nHost: " + origin + "\r\n" +
                                login + "\r\n");
                    if (client.ReceiveUntil("\r\n\r\n").rfind("HTTP/1.1 200", 0) == 0) {
                        client.Send(inner);
                        answer = client.ReceiveUntil("hello world");
                    }
                    break;
                }
                case Path::kSocksNone:
                case Path::kSocksLogin: {
                    const bool none = c.path == Path::kSocksNone;
                    client.Send(none ? std::string("\x05\x01\x00", 3)
                                     : std::string("\x05\x01\x02", 3));
                    if (client.ReceiveExactly(2) != std::string(none ? "\x05\x00" : "\x05\x02", 2))
                        break;
                    if (!none) {
                        client.Send(std::string{1, 5} + "alice" + char(c.password.size()) +
                                    c.password);
                        if (client.ReceiveExactly(2) != std::string("\x01\x00", 2)) break;
                    }
                    client.Send(SocksConnect());
                    if (client.ReceiveExactly(10).substr(0, 2) != std::string("\x05\x00", 2)) break;
                    client.Send(inner);
                    answer = client.ReceiveUntil("hello world");
                    break;
                }
            }
            EXPECT_EQ(answer.find("hello world") != std::string::npos, c.allowed)
                << "path " << int(c.path) << ", anonymous " << anonymous << ", password '"
                << c.password << "'";
        }
        // A connection that logged in once is asked again for its next request.
        if (!anonymous) {
            Raw client(listen_);
            client.Send(Get("/hello", Login("alice", "secret")));
            ASSERT_NE(client.ReceiveUntil("hello world").find("hello world"), std::string::npos);
            client.Send(Get("/hello"));
            EXPECT_EQ(client.ReceiveUntil("\r\n").substr(0, 12), "HTTP/1.1 407");
        }
        server_.reset();
    }
}

// kill -9 while the writer thread is storing history: main.db stays sound every time and
// rows once stored stay stored.
TEST_F(HostileClients, KillNineWhileHistoryIsWrittenLeavesASoundDatabase) {
    ResetDatabase({{"anonymous_allow", "1"}}, {});
    std::mt19937 random(12345);
    int64_t stored = 0;
    constexpr int kKills = 100;
    for (int round = 0; round < kKills; ++round) {
        listen_ = FreePort();
        control_ = FreePort();
        auto server = std::make_unique<ServerProcess>(listen_, control_);
        ASSERT_TRUE(server->Ready()) << "round " << round;
        std::atomic<bool> stop{false};
        std::thread traffic([&] {
            Raw client(listen_, 1000ms);
            while (!stop && client.Send(Get("/hello")) &&
                   client.ReceiveUntil("hello world").find("hello world") != std::string::npos) {
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 250));
        ::kill(server->Pid(), SIGKILL);
        stop = true;
        traffic.join();
        server.reset();  // reaps the killed process
        std::string integrity;
        ASSERT_TRUE(UseDatabase([&](CppSQLite3DB& db) {
            integrity = db.execQuery("pragma integrity_check").getStringField(0);
        }));
        ASSERT_EQ(integrity, "ok") << "round " << round;
        const int64_t now = Count("select count(*) from history");
        ASSERT_GE(now, stored) << "round " << round;
        stored = now;
    }
    EXPECT_GT(stored, 0);
}

}  // namespace
}  // namespace server_test
