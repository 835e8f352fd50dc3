// The server's byte parsers and builders, and its traffic figures, without sockets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "Common/ControlChannel.h"
#include "server/ControlReplies.h"
#include "server/HttpMessageParser.h"
#include "server/HttpProxyRequest.h"
#include "server/RateWindow.h"
#include "server/Socks5Protocol.h"
#include "server/TrafficStats.h"

namespace {

// A request line is a command's name, and an argument only where it takes one: a stray space
// after a name, or a missing argument, is an unknown command.
using control::Command;
static_assert(control::ReadRequestLine("traffic al ice").command == Command::kTraffic);
static_assert(control::ReadRequestLine("traffic al ice").argument == "al ice");
static_assert(control::ReadRequestLine("connections").command == Command::kConnections);
static_assert(control::ReadRequestLine("flowuser ").command == Command::kUnknown);
static_assert(control::ReadRequestLine("system x").command == Command::kUnknown);
static_assert(control::ReadRequestLine("traffic ").command == Command::kUnknown);
static_assert(control::ReadRequestLine("traffic").command == Command::kUnknown);
static_assert(!control::ReadDisconnectTarget("user "));
static_assert(control::ReadDisconnectTarget("ip ::1")->by == control::DisconnectBy::kIp);

using namespace std::string_literals;

TEST(Socks5Protocol, MessagesAreReadWholeOnlyAndRequestsRefusedWithTheirReply) {
    using P = socks5::Parse;
    socks5::Greeting greeting;
    size_t used = 0;
    EXPECT_EQ(socks5::ParseGreeting("\x05"s, greeting, used), P::kNeedMore);
    EXPECT_EQ(socks5::ParseGreeting("\x05\x02\x00"s, greeting, used), P::kNeedMore);
    EXPECT_EQ(socks5::ParseGreeting("\x04\x01\x00"s, greeting, used), P::kBad);
    EXPECT_EQ(socks5::ParseGreeting("\x05\x00"s, greeting, used), P::kBad);
    ASSERT_EQ(socks5::ParseGreeting("\x05\x02\x00\x02+rest"s, greeting, used), P::kDone);
    EXPECT_EQ(used, 4u);
    EXPECT_TRUE(greeting.offersNoAuthentication && greeting.offersUserPassword);

    socks5::Credentials login;
    EXPECT_EQ(socks5::ParseCredentials("\x01\x05"s + "alice\x06secre", login, used), P::kNeedMore);
    EXPECT_EQ(socks5::ParseCredentials("\x05\x01"s + "a\x01" + "b", login, used), P::kBad);
    ASSERT_EQ(socks5::ParseCredentials("\x01\x05"s + "alice\x00"s, login, used), P::kDone);
    EXPECT_EQ(login.user, "alice");
    EXPECT_EQ(login.password, "");  // an empty password is a password too

    // Requests: the bytes, how they read, the destination when whole, the reply they earn.
    const std::tuple<std::string, P, std::string, uint8_t> requests[] = {
        {"\x05\x01\x00\x01\x7f\x00\x00\x01\x1f\x90"s, P::kDone, "127.0.0.1:8080", 1},
        {"\x05\x01\x00\x03\x0b"s + "example.com\x00\x50"s, P::kDone, "example.com:80", 1},
        {"\x05\x01\x00\x04"s + std::string(15, '\0') + "\x01\x01\xbb"s, P::kDone, "::1:443", 1},
        {"\x05\x01\x00\x03\x0b"s + "example", P::kNeedMore, "", 1},
        {"\x05\x01\x00\x05\x00\x00\x00"s, P::kBad, "", socks5::kAddressTypeNotSupported},
        {"\x05\x01\x00\x03\x00\x00\x50"s, P::kBad, "", 1},
        {"\x05\x01\x00\x03\x05"s + "a.b\x00x\x00\x50"s, P::kBad, "", 1},
        {"\x04\x01\x00\x01\x7f\x00\x00\x01\x00\x50"s, P::kBad, "", 1},
    };
    for (const auto& [bytes, result, destination, reply] : requests) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        socks5::Request request;
        uint8_t failure = 0;
        EXPECT_EQ(socks5::ParseRequest(bytes, request, used, failure), result);
        EXPECT_EQ(failure, reply);
        if (result != P::kDone) continue;
        EXPECT_EQ(request.host + ":" + std::to_string(request.port), destination);
        EXPECT_EQ(used, bytes.size());
    }
}

using Status = HttpMessageParser::Status;

// The head of a request, read as it is or (when `expected` is given) checked to be so.
HttpHead Head(const std::string& text, std::optional<Status> expected = std::nullopt) {
    HttpMessageParser parser(HttpMessageParser::Kind::kRequest);
    HttpHead head;
    const Status status = parser.ReadHead(text, 4096, head);
    if (expected) {
        EXPECT_EQ(status, *expected) << text.substr(0, 60);
    }
    return head;
}

// Heads are read when complete and bounded in size (4096 bytes here), and give their fields.
TEST(HttpMessageParser, RequestHeadsAreBoundedAndGiveTheirFieldsAndLength) {
    const std::string big = "GET http://a/ HTTP/1.1\r\nX: " + std::string(5000, 'x');
    Head("GET http://a/ HTTP/1.1\r\nHost: a\r\n", Status::kNeedMore);
    Head(big, Status::kTooLarge);
    Head(big + "\r\n\r\n", Status::kTooLarge);
    Head("BREW http://a/ HTTP/1.1\r\n\r\n", Status::kBad);
    Head("GET http://a/ HTTP/1.1\r\nContent-Length: x\r\n\r\n", Status::kBad);
    // A bare CR would let the head end in two places (and a body be read inside it).
    Head("POST http://a/ HTTP/1.1\nTransfer-Encoding: chunked\n\r\r3\nabc\n0\nX: 1\n\n",
         Status::kBad);
    // Nor may a line ended by LF alone hide an empty line from the reader ("\n\r\n").
    const HttpHead lax = Head(
        "POST http://a/ HTTP/1.1\r\nTransfer-Encoding: chunked\n\r\n3\r\nabc\r\n0\r\nX: 1\r\n\r\n",
        Status::kHead);
    EXPECT_EQ(lax.length, 54u);

    const HttpHead get =
        Head("GET http://a/x?y HTTP/1.0\r\nHost: a\r\nConnection: keep-alive\r\n\r\nNEXT",
             Status::kComplete);
    EXPECT_EQ(std::tuple(get.method, get.target, get.versionMinor, get.keepAlive, get.length),
              std::tuple(HTTP_GET, "http://a/x?y", 0, true, 62u));
    ASSERT_NE(get.Find("HOST"), nullptr);
    EXPECT_EQ(*get.Find("host"), "a");

    const HttpHead connect =
        Head("CONNECT a:443 HTTP/1.1\r\nHost: a:443\r\n\r\n\x16\x03", Status::kComplete);
    EXPECT_EQ(std::tuple(connect.method, connect.length), std::tuple(HTTP_CONNECT, 39u));
}

// A body ends where its framing says however it arrives (in pieces of 1, 7 or 1000 bytes): the
// next request follows it.
TEST(HttpMessageParser, RequestBodiesEndWhereTheirFramingSays) {
    for (const auto& [body, bodyLength] :
         {std::pair{"Content-Length: 5\r\n\r\nhello", 5u},
          {"Transfer-Encoding: chunked\r\n\r\n"
           "3\r\nabc\r\n4;ext=1\r\ndefg\r\n0\r\nTrailer: t\r\n\r\n",
           40u}}) {
        for (const size_t piece : {1, 7, 1000}) {
            SCOPED_TRACE(std::string(body).substr(0, 9) + " in pieces of " + std::to_string(piece));
            const std::string stream = "POST http://a/ HTTP/1.1\r\n" + std::string(body) +
                                       "GET http://a/ HTTP/1.1\r\n\r\n";
            HttpMessageParser parser(HttpMessageParser::Kind::kRequest);
            HttpHead head;
            EXPECT_EQ(parser.ReadHead(stream, 1024, head), Status::kHead);
            size_t at = head.length;
            Status status = Status::kNeedMore;
            for (size_t used = 0; status == Status::kNeedMore; at += used, used = 0) {
                status = parser.ReadBody(std::string_view(stream).substr(at, piece), used);
            }
            EXPECT_EQ(status, Status::kComplete);
            EXPECT_EQ(at - head.length, bodyLength);
            parser.Reset();
            EXPECT_EQ(parser.ReadHead(stream.substr(at), 1024, head), Status::kComplete);
        }
    }
}

TEST(HttpMessageParser, AResponseWithoutLengthEndsWithItsConnectionAndOneCutShortIsNotWhole) {
    HttpMessageParser parser(HttpMessageParser::Kind::kResponse);
    HttpHead head;
    const auto read = [&](const char* text) { return parser.ReadHead(text, 1024, head); };
    ASSERT_EQ(read("HTTP/1.1 200 OK\r\n\r\nbody until the end"), Status::kHead);
    EXPECT_TRUE(head.bodyUntilEof);
    EXPECT_FALSE(head.keepAlive);
    size_t used = 0;
    EXPECT_EQ(parser.ReadBody("body until the end", used), Status::kNeedMore);
    EXPECT_EQ(used, 18u);
    EXPECT_TRUE(parser.Finish());

    parser.Reset();
    ASSERT_EQ(read("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"), Status::kHead);
    EXPECT_EQ(parser.ReadBody("short", used), Status::kNeedMore);
    EXPECT_FALSE(parser.Finish());  // cut short: not a complete message
}

TEST(HttpProxyRequest, TargetsAreAbsoluteHttpUrlsOrConnectAuthorities) {
    // The target as host|port|origin form, or "refused".
    const auto target = [](const std::string& line) {
        const auto t = ParseProxyTarget(Head(line + " HTTP/1.1\r\n\r\n"));
        return t ? t->host + "|" + std::to_string(t->port) + "|" + t->originForm : "refused";
    };
    for (const auto& [line, read] :
         {std::pair{"GET http://Example.com:8080/a/b?c=d#f", "Example.com|8080|/a/b?c=d"},
          {"GET http://h", "h|80|/"},
          {"GET http://[::1]/", "::1|80|/"},
          {"CONNECT [::1]:443", "::1|443|"},
          {"GET /origin-form", "refused"},
          {"GET https://h/", "refused"},
          {"GET ftp://h/", "refused"},
          {"CONNECT h", "refused"},
          {"CONNECT h:0", "refused"}}) {
        EXPECT_EQ(target(line), read) << line;
    }
}

TEST(HttpProxyRequest, OriginRequestDropsHopByHopAndProxyFieldsAndCredentialsAreBasic) {
    const HttpHead head = Head(
        "POST http://h:81/p?q HTTP/1.1\r\nProxy-Authorization: Basic eDp5\r\n"
        "Connection: close, X-Private\r\nX-Private: 1\r\nKeep-Alive: 5\r\n"
        "Proxy-Connection: keep-alive\r\nTransfer-Encoding: chunked\r\nAccept: */*\r\n\r\n");
    const auto target = ParseProxyTarget(head);
    ASSERT_TRUE(target);
    EXPECT_EQ(BuildOriginRequest(head, *target),
              "POST /p?q HTTP/1.1\r\nHost: h:81\r\nTransfer-Encoding: chunked\r\n"
              "Accept: */*\r\n\r\n");
    // Connection may not strip the body's framing: the origin would read the body as requests.
    const HttpHead framed = Head(
        "POST http://h/ HTTP/1.1\r\nConnection: Content-Length, Transfer-Encoding\r\n"
        "Content-Length: 3\r\n\r\n");
    EXPECT_EQ(BuildOriginRequest(framed, *ParseProxyTarget(framed)),
              "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\n");
    // Exactly one Host reaches the origin: the target's, whatever the client sent.
    const HttpHead withHost =
        Head("GET http://h/ HTTP/1.0\r\nHost: other\r\nX: 1\r\nhost: more\r\n\r\n");
    EXPECT_EQ(BuildOriginRequest(withHost, *ParseProxyTarget(withHost)),
              "GET / HTTP/1.0\r\nHost: h\r\nX: 1\r\n\r\n");

    const auto credentials = [](const std::string& field) {
        return ReadProxyCredentials(
            Head("GET http://h/ HTTP/1.1\r\nProxy-Authorization: " + field + "\r\n\r\n"));
    };
    const auto alice = credentials("basic YWxpY2U6czpl");
    ASSERT_TRUE(alice);
    EXPECT_EQ(alice->user + "|" + alice->password, "alice|s:e");  // only the first colon separates
    for (const char* bad : {"Bearer YWxpY2U6cw==", "Basic YWxpY2U", "Basic !!!!", "Basic"}) {
        EXPECT_FALSE(credentials(bad)) << bad;
    }
}

TEST(TrafficStats, FlowsTotalsTheLastSecondAndTotalsBoundedByAddress) {
    TrafficStats stats(1000);
    auto* alice = stats.Open("10.0.0.1", "alice");
    auto* again = stats.Open("10.0.0.1", "alice");
    auto* anonymous = stats.Open("10.0.0.2", "");
    EXPECT_EQ(alice, again);
    stats.Add(alice, 1000);
    stats.Add(anonymous, 24);
    EXPECT_EQ(std::tuple(stats.OnlineUsers(), stats.OnlineDevices(), stats.Connections()),
              std::tuple(1, 2, 3));
    stats.Tick(1001);
    EXPECT_EQ(alice->bytesLastSecond, 1000u);
    EXPECT_EQ(anonymous->bytesLastSecond, 24u);
    stats.Close(alice);
    stats.Close(alice);
    stats.Tick(1002);
    EXPECT_EQ(anonymous->bytesLastSecond, 0u);
    EXPECT_EQ(stats.FlowCount(), 1u);  // alice's flow ended; her totals stay
    EXPECT_EQ(stats.ByUser().at("alice").bytes, 1000u);
    EXPECT_EQ(stats.ByUser().at("alice").lastActive, 1000);
    EXPECT_EQ(stats.ByUser().count(""), 0u);
    EXPECT_EQ(stats.ByIp().at("10.0.0.2").bytes, 24u);
    EXPECT_EQ(stats.TotalBytes(), 1024u);

    // The online counts follow logins and ends, whichever way a user's and an address's
    // connections overlap, before and after the sweep drops the ended flows.
    using Counts = std::tuple<int, int, int>;
    const auto counts = [&] {
        return Counts(stats.OnlineUsers(), stats.OnlineDevices(), stats.Connections());
    };
    auto* home = stats.Open("10.0.0.1", "bob");
    auto* office = stats.Open("10.0.0.3", "bob");
    EXPECT_EQ(counts(), Counts(1, 3, 3));
    auto* loggedIn = stats.Open("10.0.0.3", "carol");  // another account on the same address
    EXPECT_EQ(counts(), Counts(2, 3, 4));
    stats.Close(office);
    EXPECT_EQ(counts(), Counts(2, 3, 3));
    stats.Close(home);
    EXPECT_EQ(counts(), Counts(1, 2, 2));
    stats.Tick(1003);
    stats.Close(anonymous);
    stats.Close(loggedIn);
    EXPECT_EQ(counts(), Counts(0, 0, 0));
    stats.Tick(1004);
    EXPECT_EQ(counts(), Counts(0, 0, 0));
    EXPECT_EQ(stats.Open("10.0.0.3", "bob"), stats.Open("10.0.0.3", "bob"));
    EXPECT_EQ(counts(), Counts(1, 1, 2));

    // A client walking through addresses cannot grow the totals past their bound: the longest
    // inactive go first, never one with a live connection. A reply's snapshot stays as it was
    // taken meanwhile (the realtime one's address given to another since), and lists the
    // addresses in order whichever places they were given; the realtime one only live flows.
    TrafficStats walked(0, 100);
    auto* early = walked.Open("10.0.0.1", "");
    walked.Open("10.0.0.0", "alice");  // stays open: oldest, but live
    std::shared_ptr<const TotalsSnapshot> taken;
    std::shared_ptr<const TrafficStats::LiveFlowsSnapshot> flowsTaken;
    std::string reply;
    std::string realtime;
    for (int i = 1; i <= 150; ++i) {
        walked.Tick(i);
        walked.Close(walked.Open("10.0.1." + std::to_string(i), ""));
        if (i == 1) {
            reply = TotalsReply(*(taken = walked.ByIp().Snapshot()), "ip");
            realtime = FlowRealtimeReply(*(flowsTaken = walked.LiveFlows()));
            walked.Close(early);
        }
    }
    EXPECT_EQ(FlowRealtimeReply(*flowsTaken), realtime);
    const std::regex flow(R"re("ip":"([0-9.]+)","total_bytes":"[^"]*","user":"([a-z]*)")re");
    std::string flows;
    for (std::sregex_iterator it(realtime.begin(), realtime.end(), flow), end; it != end; ++it)
        flows += (*it)[1].str() + "|" + (*it)[2].str() + " ";
    EXPECT_EQ(flows, "10.0.0.0|alice 10.0.0.1| ") << realtime;

    // The realtime reply is written directly, byte for byte as the JSON tree the console's
    // reader was made for, whatever a name holds.
    using Snapshot = TrafficStats::LiveFlowsSnapshot;
    const std::vector<std::string> names = {"q\"b\\", "\xc3\xa9t\xc3\xa9\t",
                                            std::string("n\0ul", 4)};
    Snapshot odd{std::make_shared<std::vector<std::string>>(names),
                 std::make_shared<std::vector<std::string>>(names),
                 {{0, 2, 3, 5'000'000, 1536}, {1, Snapshot::kAnonymous, 1, 0, 0}, {2, 1, 2, 7, 0}}};
    std::map<std::pair<std::string, std::string>, Snapshot::Row> byNames;
    for (const Snapshot::Row& row : odd.rows) {
        const std::string user = row.userSlot == Snapshot::kAnonymous ? "" : names[row.userSlot];
        byNames.emplace(std::pair(names[row.ipSlot], user), row);
    }
    Json::Value tree(Json::arrayValue);
    for (const auto& [key, row] : byNames) {
        Json::Value object(Json::objectValue);
        object["ip"] = key.first;
        object["user"] = key.second;
        object["current_connections"] = row.connections;
        object["total_bytes"] = FormatBytes(row.bytes);
        object["bytes_persecond"] = FormatBytes(row.bytesLastSecond) + "/s";
        tree.append(object);
    }
    EXPECT_EQ(FlowRealtimeReply(odd), Envelope(tree));
    EXPECT_EQ(FlowRealtimeReply(Snapshot{odd.ipNames, odd.userNames, {}}),
              Envelope(Json::Value(Json::arrayValue)));
    walked.Tick(200);
    EXPECT_LE(walked.ByIp().size(), 100u);
    for (const auto& [ip, kept] : {std::pair{"10.0.0.0", 1u}, {"10.0.1.150", 1u}, {"10.0.1.1", 0u}})
        EXPECT_EQ(walked.ByIp().count(ip), kept) << ip;
    EXPECT_EQ(TotalsReply(*taken, "ip"), reply);
    const std::string now = TotalsReply(*walked.ByIp().Snapshot(), "ip");
    std::vector<std::string> listed;
    const std::regex address(R"re("ip":"([0-9.]+)")re");
    for (std::sregex_iterator it(now.begin(), now.end(), address), end; it != end; ++it)
        listed.push_back((*it)[1]);
    EXPECT_EQ(listed.size(), walked.ByIp().size());
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end())) << now;
}

// The console polls every 2 s and charts each answer as that poll's rate: with traffic only in
// the second that a "last whole second" answer never covers, the samples must still add up to
// the bytes moved.
TEST(RateWindow, AnswersAddUpToTheBytesMovedAndWindowsAreBounded) {
    using namespace std::chrono_literals;
    const RateWindow::Clock::time_point t0{};
    RateWindow window(t0);
    uint64_t total = 0;
    uint64_t movedSinceFirst = 0;
    double charted = 0;  // sum of the samples after the first, times the poll period
    for (int second = 1; second <= 60; ++second) {
        if (second % 2 == 1) {  // the second (2j, 2j + 1]: moved in its middle
            const uint64_t burst = 100000 + 977 * second;
            total += burst;
            movedSinceFirst += second > 2 ? burst : 0;
        }
        window.Mark(t0 + std::chrono::seconds(second), total);
        if (second % 2 == 0) {  // a poll 370 ms after every second mark
            const uint64_t sample = window.Answer(t0 + std::chrono::seconds(second) + 370ms, total);
            if (second > 2) charted += 2.0 * static_cast<double>(sample);
        }
    }
    EXPECT_NEAR(charted, static_cast<double>(movedSinceFirst), 30.0);

    // The first answer covers about 2 s; after a pause the window is at most 10 s; an answer
    // right after another repeats its rate and leaves the bytes to the next one.
    RateWindow later(t0);
    uint64_t moved = 0;
    for (int second = 1; second <= 40; ++second) {
        later.Mark(t0 + std::chrono::seconds(second), moved += 1000 * second);
    }
    const auto at = t0 + 40s + 500ms;
    const uint64_t first = later.Answer(at, moved);  // from the mark at 38 s: 39 and 40 kB
    EXPECT_EQ(first, static_cast<uint64_t>(std::round(79000 / 2.5)));
    EXPECT_EQ(later.Answer(at + 100ms, moved + 5000), first);
    EXPECT_EQ(later.Answer(at + 2s, moved + 5000), 2500u);
    moved += 5000;
    for (int second = 43; second <= 72; ++second) {  // 30 kB at 45 s, then 10 idle seconds
        later.Mark(t0 + std::chrono::seconds(second), moved += second == 45 ? 30000 : 0);
    }
    EXPECT_EQ(later.Answer(at + 32s, moved), 0u);
    EXPECT_EQ(later.Answer(at + 33s, moved + (UINT64_C(1) << 40)),
              std::numeric_limits<uint32_t>::max());
}

}  // namespace
