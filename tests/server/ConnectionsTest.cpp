// The live connections over the real control channel, read by the console's own client and
// readers: listed with where they go and what they moved, and ended by what a "disconnect"
// names.
#include <ctime>
#include <map>

#include "server/LiveConnections.h"
#include "server_link/Replies.h"
#include "tests/server/ServerHarness.h"

namespace server_test {
namespace {

using control::Command;
using control::DisconnectBy;

class Connections : public ServerTest {
protected:
    // The rows of "connections" by protocol and user ("http alice").
    std::map<std::string, ConnectionRow> Rows() {
        std::map<std::string, ConnectionRow> rows;
        for (auto& row : List().rows) rows[row.protocol + " " + row.user] = row;
        return rows;
    }
    ConnectionList List() {
        std::string reply;
        return link_.Connections(reply) ? ReadConnections(reply).value_or(ConnectionList{})
                                        : ConnectionList{};
    }
    std::optional<uint64_t> Disconnect(DisconnectBy by, const std::string& value) {
        std::string reply;
        return link_.Disconnect(by, value, reply) ? ReadClosed(reply) : std::nullopt;
    }
    std::string Ask(Command command, std::string_view argument = {}) {
        std::string reply;
        return link_.Ask(command, argument, reply) ? reply : "(no reply)";
    }
};

// A request through an open tunnel to the default origin, or through the HTTP proxy.
bool Fetches(Client& client, const std::string& request) {
    return client.Send(request) && client.ReceiveUntil("hello world").ends_with("hello world");
}
const std::string kThroughTunnel = "GET /hello HTTP/1.1\r\nHost: origin\r\n\r\n";

TEST_F(Connections, EveryKindIsListedWithItsDestinationAndItsBytesAsTheyGrow) {
    Start();
    Origin other;
    Client http(listen_), tunnel(listen_), socks(listen_);
    ASSERT_TRUE(Fetches(http, Get("/hello", Login("alice", "secret"))));
    ASSERT_TRUE(tunnel.Connect(origin_.Port(), Login("bob", "b0b")) &&
                Fetches(tunnel, kThroughTunnel));
    ASSERT_TRUE(socks.Socks5(origin_.Port(), "alice", "secret") && Fetches(socks, kThroughTunnel));

    EXPECT_EQ(List().total, 3u);
    auto rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    const std::string destination = "127.0.0.1:" + std::to_string(origin_.Port());
    for (const char* kind : {"http alice", "connect bob", "socks5 alice"}) {
        SCOPED_TRACE(kind);
        const ConnectionRow& row = rows[kind];
        EXPECT_EQ(row.ip + " " + row.destination, "127.0.0.1 " + destination);
        EXPECT_LE(std::abs(row.since - std::time(nullptr)), 60);
        EXPECT_GT(row.bytesUp, 30u);
        EXPECT_GT(row.bytesDown, 11u);
    }

    // The kept-alive session shows where its current request goes; the tunnel that moves the
    // most comes first once a sweep has measured it.
    const auto before = rows;
    const std::string elsewhere = "127.0.0.1:" + std::to_string(other.Port());
    ASSERT_TRUE(Fetches(http, "GET http://" + elsewhere + "/hello HTTP/1.1\r\nHost: " + elsewhere +
                                  "\r\n" + Login("alice", "secret") + "\r\n"));
    ASSERT_TRUE(socks.Send("GET /bytes/3000000 HTTP/1.1\r\nHost: origin\r\n\r\n"));
    EXPECT_EQ(socks.ReceiveExactly(3000000 + 40).size(), 3000040u);
    ConnectionRow first;
    EXPECT_TRUE(WaitUntil([&] {
        const auto list = List();
        if (!list.rows.empty()) first = list.rows[0];
        return first.protocol == "socks5" && first.rate > 1000000;
    })) << first.protocol
        << " " << first.rate;
    rows = Rows();
    EXPECT_EQ(rows["http alice"].destination, elsewhere);
    EXPECT_GT(rows["http alice"].bytesDown, before.at("http alice").bytesDown);
    EXPECT_GE(rows["socks5 alice"].bytesDown, before.at("socks5 alice").bytesDown + 3000000);
    EXPECT_EQ(rows["connect bob"].bytesDown, before.at("connect bob").bytesDown);
    EXPECT_EQ(rows["socks5 alice"].id, before.at("socks5 alice").id);
}

// Each form ends what it names, at once, and nothing else: the others keep being served. Each
// is an "admin" alarm; a malformed one is refused as an unknown command and changes nothing.
TEST_F(Connections, EachDisconnectFormCutsExactlyWhatItNames) {
    Start();
    const std::string alice = Login("alice", "secret"), bob = Login("bob", "b0b");
    Client aliceSocks(listen_, 20s, 0, "127.0.0.2"), aliceHttp(listen_, 20s, 0, "127.0.0.3");
    Client bobTunnel(listen_, 20s, 0, "127.0.0.2"), bobSocks(listen_, 20s, 0, "127.0.0.4");
    Client bobHttp(listen_, 20s, 0, "127.0.0.4");
    ASSERT_TRUE(
        aliceSocks.Socks5(origin_.Port(), "alice", "secret") &&
        Fetches(aliceHttp, Get("/hello", alice)) && bobTunnel.Connect(origin_.Port(), bob) &&
        bobSocks.Socks5(origin_.Port(), "bob", "b0b") && Fetches(bobHttp, Get("/hello", bob)));
    const auto served = [](Client& tunnel) { return Fetches(tunnel, kThroughTunnel); };

    const std::string unknown = R"({"err_code":1,"err_msg":"unknown command"})";
    for (const char* malformed : {"id", "id 12x", "id -1", "id  1", "id 99999999999999999999999",
                                  "host alice", "ip 127.0.0.300", "ip alice"}) {
        EXPECT_EQ(Ask(Command::kDisconnect, malformed), unknown) << malformed;
    }
    EXPECT_EQ(Ask(Command::kConnections, "now"), unknown);

    const ConnectionRow row = Rows()["http bob"];
    ASSERT_EQ(row.ip, "127.0.0.4");
    EXPECT_EQ(Disconnect(DisconnectBy::kId, std::to_string(row.id)), 1u);
    EXPECT_TRUE(bobHttp.Closed(3s));
    EXPECT_EQ(Disconnect(DisconnectBy::kId, std::to_string(row.id)), 0u);

    EXPECT_EQ(Disconnect(DisconnectBy::kUser, "alice"), 2u);
    EXPECT_TRUE(aliceSocks.Closed(3s));
    EXPECT_TRUE(aliceHttp.Closed(3s));
    EXPECT_TRUE(served(bobTunnel) && served(bobSocks));

    EXPECT_EQ(Disconnect(DisconnectBy::kIp, "127.0.0.2"), 1u);
    EXPECT_TRUE(bobTunnel.Closed(3s));
    EXPECT_TRUE(served(bobSocks));
    EXPECT_EQ(Disconnect(DisconnectBy::kIp, "::ffff:127.0.0.4"), 1u) << "a mapped address's IPv4";
    EXPECT_TRUE(bobSocks.Closed(3s));
    EXPECT_EQ(List().total, 0u);
    EXPECT_TRUE(OthersAreServed());

    EXPECT_TRUE(
        WaitUntil([] { return Count("select count(*) from alarms where source='admin'") == 5; }));
}

// Only the fastest thousand are listed, the fastest first; "total" counts every one.
TEST(ListedConnections, TheFastestThousandAreListedTheFastestFirst) {
    std::vector<RankedSession> ranked(control::kConnectionRowLimit + 1);
    for (size_t i = 0; i < ranked.size(); ++i) {
        ranked[i] = {(i * 7919) % ranked.size(), i + 1};  // every rate once, scrambled
    }
    KeepFastest(ranked, control::kConnectionRowLimit);
    ConnectionListing listing{ranked.size() + 1, {}};
    for (const RankedSession& entry : ranked) {
        ListedConnection& row = listing.rows.emplace_back();
        row.id = entry.id;
        row.rate = entry.rate;
        row.user = "quote \" and \x01";
        row.destination = std::string("n\0ul:80", 7);
    }
    const auto list = ReadConnections(ConnectionsReply(listing));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->total, 1001u);
    ASSERT_EQ(list->rows.size(), 1000u);
    for (size_t i = 0; i < list->rows.size(); ++i) {
        ASSERT_EQ(list->rows[i].rate, 1000 - i) << "the fastest first, the slowest left out";
    }
    EXPECT_EQ(list->rows[0].user, "quote \" and \x01");
    EXPECT_EQ(list->rows[0].destination, std::string("n\0ul:80", 7)) << "a NUL does not end it";
}

}  // namespace
}  // namespace server_test
