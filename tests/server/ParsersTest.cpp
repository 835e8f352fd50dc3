// The server's byte parsers and builders, without sockets: SOCKS5 handshake and login, HTTP
// heads and body framing, the proxy's request rewriting and Basic credentials, the control
// channel's request lines, and the traffic figures.
#include <gtest/gtest.h>
#include <json/reader.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "server/ControlProtocol.h"
#include "server/ControlReplies.h"
#include "server/HttpMessageParser.h"
#include "server/HttpProxyRequest.h"
#include "server/Socks5Protocol.h"
#include "server/TrafficStats.h"

namespace {

using namespace std::string_literals;

TEST(Socks5Protocol, GreetingAndCredentialsReadWholeMessagesOnly) {
    socks5::Greeting greeting;
    size_t used = 0;
    EXPECT_EQ(socks5::ParseGreeting("\x05"s, greeting, used), socks5::Parse::kNeedMore);
    EXPECT_EQ(socks5::ParseGreeting("\x05\x02\x00"s, greeting, used), socks5::Parse::kNeedMore);
    EXPECT_EQ(socks5::ParseGreeting("\x04\x01\x00"s, greeting, used), socks5::Parse::kBad);
    EXPECT_EQ(socks5::ParseGreeting("\x05\x00"s, greeting, used), socks5::Parse::kBad);
    ASSERT_EQ(socks5::ParseGreeting("\x05\x02\x00\x02+rest"s, greeting, used),
              socks5::Parse::kDone);
    EXPECT_EQ(used, 4u);
    EXPECT_TRUE(greeting.offersNoAuthentication && greeting.offersUserPassword);

    socks5::Credentials credentials;
    EXPECT_EQ(socks5::ParseCredentials("\x01\x05"s + "alice\x06secre", credentials, used),
              socks5::Parse::kNeedMore);
    EXPECT_EQ(socks5::ParseCredentials("\x05\x01"s + "a\x01" + "b", credentials, used),
              socks5::Parse::kBad);
    ASSERT_EQ(socks5::ParseCredentials("\x01\x05"s + "alice\x00"s, credentials, used),
              socks5::Parse::kDone);
    EXPECT_EQ(credentials.user, "alice");
    EXPECT_EQ(credentials.password, "");  // an empty password is a password too

    EXPECT_EQ(socks5::BuildReply(socks5::kSucceeded, "\x7f\x00\x00\x01"s, 0x1234),
              "\x05\x00\x00\x01\x7f\x00\x00\x01\x12\x34"s);
    EXPECT_EQ(socks5::BuildReply(socks5::kCommandNotSupported),
              "\x05\x07\x00\x01\x00\x00\x00\x00\x00\x00"s);
    EXPECT_EQ(socks5::BuildReply(0, std::string(16, '\1'), 1).size(), 22u);
}

struct Socks5RequestRow {
    std::string bytes;
    socks5::Parse result;
    std::string host;  // and port, when read whole
    uint16_t port;
    uint8_t failure;  // the reply it earns
};
// A row is named by its bytes (printed whole, a row would show its pointers: no stable name).
void PrintTo(const Socks5RequestRow& row, std::ostream* out) {
    *out << ::testing::PrintToString(row.bytes);
}
class Socks5Request : public ::testing::TestWithParam<Socks5RequestRow> {};

TEST_P(Socks5Request, IsReadWholeOrRefusedWithItsReply) {
    const Socks5RequestRow& row = GetParam();
    socks5::Request request;
    size_t used = 0;
    uint8_t failure = 0;
    EXPECT_EQ(socks5::ParseRequest(row.bytes, request, used, failure), row.result);
    EXPECT_EQ(failure, row.failure);
    if (row.result != socks5::Parse::kDone) return;
    EXPECT_EQ(request.host, row.host);
    EXPECT_EQ(request.port, row.port);
    EXPECT_EQ(used, row.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Socks5Request,
    ::testing::Values(
        Socks5RequestRow{"\x05\x01\x00\x01\x7f\x00\x00\x01\x1f\x90"s, socks5::Parse::kDone,
                         "127.0.0.1", 8080, 1},
        Socks5RequestRow{"\x05\x01\x00\x03\x0b"s + "example.com\x00\x50"s, socks5::Parse::kDone,
                         "example.com", 80, 1},
        Socks5RequestRow{"\x05\x01\x00\x04"s + std::string(15, '\0') + "\x01\x01\xbb"s,
                         socks5::Parse::kDone, "::1", 443, 1},
        Socks5RequestRow{"\x05\x01\x00\x03\x0b"s + "example", socks5::Parse::kNeedMore, "", 0, 1},
        Socks5RequestRow{"\x05\x01\x00\x05\x00\x00\x00"s, socks5::Parse::kBad, "", 0,
                         socks5::kAddressTypeNotSupported},
        Socks5RequestRow{"\x05\x01\x00\x03\x00\x00\x50"s, socks5::Parse::kBad, "", 0, 1},
        Socks5RequestRow{"\x05\x01\x00\x03\x05"s + "a.b\x00x\x00\x50"s, socks5::Parse::kBad, "", 0,
                         1},
        Socks5RequestRow{"\x04\x01\x00\x01\x7f\x00\x00\x01\x00\x50"s, socks5::Parse::kBad, "", 0,
                         1}));

struct RequestHeadRow {
    std::string bytes;
    HttpMessageParser::Status status;
};
void PrintTo(const RequestHeadRow& row, std::ostream* out) {
    *out << ::testing::PrintToString(row.bytes.substr(0, 40)) << " of " << row.bytes.size();
}
class RequestHead : public ::testing::TestWithParam<RequestHeadRow> {};

// Heads are read when complete and bounded in size (1024 bytes here).
TEST_P(RequestHead, IsReadWhenCompleteAndBounded) {
    HttpMessageParser parser(HttpMessageParser::Kind::kRequest);
    HttpHead head;
    EXPECT_EQ(parser.ReadHead(GetParam().bytes, 1024, head), GetParam().status);
}

using Status = HttpMessageParser::Status;
INSTANTIATE_TEST_SUITE_P(
    Rows, RequestHead,
    ::testing::Values(
        RequestHeadRow{"GET http://a/ HTTP/1.1\r\nHost: a\r\n", Status::kNeedMore},
        RequestHeadRow{"GET http://a/ HTTP/1.1\r\nX: " + std::string(2000, 'x'), Status::kTooLarge},
        RequestHeadRow{"GET http://a/ HTTP/1.1\r\nX: " + std::string(2000, 'x') + "\r\n\r\n",
                       Status::kTooLarge},
        RequestHeadRow{"BREW http://a/ HTTP/1.1\r\n\r\n", Status::kBad},
        RequestHeadRow{"GET http://a/ HTTP/1.1\r\nContent-Length: x\r\n\r\n", Status::kBad},
        // A bare CR would let the head end in two places (and a body be read inside it).
        RequestHeadRow{"POST http://a/ HTTP/1.1\nTransfer-Encoding: chunked\n\r\r3\nabc\n0\nX: "
                       "1\n\n",
                       Status::kBad}));

// The head of a request, read as it is or (when `expected` is given) checked to be so.
HttpHead Head(const std::string& text, std::optional<Status> expected = std::nullopt) {
    HttpMessageParser parser(HttpMessageParser::Kind::kRequest);
    HttpHead head;
    const Status status = parser.ReadHead(text, 4096, head);
    if (expected) {
        EXPECT_EQ(status, *expected) << text;
    }
    return head;
}

TEST(HttpMessageParser, RequestHeadsGiveTheirFieldsAndLength) {
    // Nor may a line ended by LF alone hide an empty line from the reader ("\n\r\n").
    const HttpHead lax = Head(
        "POST http://a/ HTTP/1.1\r\nTransfer-Encoding: chunked\n\r\n3\r\nabc\r\n0\r\nX: 1\r\n\r\n",
        Status::kHead);
    EXPECT_EQ(lax.length, 54u);

    const HttpHead get =
        Head("GET http://a/x?y HTTP/1.0\r\nHost: a\r\nConnection: keep-alive\r\n\r\nNEXT",
             Status::kComplete);
    EXPECT_EQ(get.method, HTTP_GET);
    EXPECT_EQ(get.target, "http://a/x?y");
    EXPECT_EQ(get.versionMinor, 0);
    EXPECT_TRUE(get.keepAlive);
    EXPECT_EQ(get.length, 62u);
    ASSERT_NE(get.Find("HOST"), nullptr);
    EXPECT_EQ(*get.Find("host"), "a");

    const HttpHead connect =
        Head("CONNECT a:443 HTTP/1.1\r\nHost: a:443\r\n\r\n\x16\x03", Status::kComplete);
    EXPECT_EQ(connect.method, HTTP_CONNECT);
    EXPECT_EQ(connect.length, 39u);
}

// A body ends where its framing says however it arrives (in pieces of 1, 7 or 1000 bytes): the
// next request follows it.
using Framed = std::tuple<std::string, size_t>;  // a message and the length of its body
class RequestBody : public ::testing::TestWithParam<std::tuple<Framed, size_t>> {};

TEST_P(RequestBody, EndsWhereItsFramingSays) {
    const auto& [framed, piece] = GetParam();
    const auto& [message, bodyLength] = framed;
    HttpMessageParser parser(HttpMessageParser::Kind::kRequest);
    const std::string stream = message + "GET http://a/ HTTP/1.1\r\n\r\n";
    HttpHead head;
    ASSERT_EQ(parser.ReadHead(stream, 1024, head), Status::kHead);
    size_t at = head.length;
    Status status = Status::kNeedMore;
    while (status == Status::kNeedMore) {
        size_t used = 0;
        status = parser.ReadBody(std::string_view(stream).substr(at, piece), used);
        at += used;
    }
    EXPECT_EQ(status, Status::kComplete);
    EXPECT_EQ(at - head.length, bodyLength);
    parser.Reset();
    EXPECT_EQ(parser.ReadHead(std::string_view(stream).substr(at), 1024, head), Status::kComplete);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RequestBody,
    ::testing::Combine(
        ::testing::Values(Framed{"POST http://a/ HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 5},
                          Framed{"POST http://a/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                                 "3\r\nabc\r\n4;ext=1\r\ndefg\r\n0\r\nTrailer: t\r\n\r\n",
                                 40}),
        ::testing::Values(size_t{1}, size_t{7}, size_t{1000})));

TEST(HttpMessageParser, ResponsesWithoutLengthHeadAnswersAndInterimOnes) {
    HttpMessageParser parser(HttpMessageParser::Kind::kResponse);
    HttpHead head;
    ASSERT_EQ(parser.ReadHead("HTTP/1.1 200 OK\r\n\r\nbody until the end", 1024, head),
              Status::kHead);
    EXPECT_TRUE(head.bodyUntilEof);
    EXPECT_FALSE(head.keepAlive);
    size_t used = 0;
    EXPECT_EQ(parser.ReadBody("body until the end", used), Status::kNeedMore);
    EXPECT_EQ(used, 18u);
    EXPECT_TRUE(parser.Finish());

    parser.Reset(/*noBody=*/true);  // the answer to HEAD
    ASSERT_EQ(parser.ReadHead("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n", 1024, head),
              Status::kComplete);
    EXPECT_TRUE(head.keepAlive);

    parser.Reset();
    EXPECT_EQ(parser.ReadHead("HTTP/1.1 100 Continue\r\n\r\n", 1024, head), Status::kComplete);
    EXPECT_EQ(head.status, 100);

    parser.Reset();
    ASSERT_EQ(parser.ReadHead("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", 1024, head),
              Status::kHead);
    EXPECT_EQ(parser.ReadBody("short", used), Status::kNeedMore);
    EXPECT_FALSE(parser.Finish());  // cut short: not a complete message
}

TEST(HttpProxyRequest, TargetsAreAbsoluteHttpUrlsOrConnectAuthorities) {
    const auto target =
        ParseProxyTarget(Head("GET http://Example.com:8080/a/b?c=d#f HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(target);
    EXPECT_EQ(target->host, "Example.com");
    EXPECT_EQ(target->port, 8080);
    EXPECT_EQ(target->originForm, "/a/b?c=d");
    EXPECT_EQ(ParseProxyTarget(Head("GET http://h HTTP/1.1\r\n\r\n"))->originForm, "/");
    EXPECT_EQ(ParseProxyTarget(Head("GET http://[::1]/ HTTP/1.1\r\n\r\n"))->host, "::1");
    const auto tunnel = ParseProxyTarget(Head("CONNECT [::1]:443 HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(tunnel);
    EXPECT_EQ(tunnel->host, "::1");
    EXPECT_EQ(tunnel->port, 443);
    for (const char* refused : {"GET /origin-form HTTP/1.1\r\n\r\n",
                                "GET https://h/ HTTP/1.1\r\n\r\n", "GET ftp://h/ HTTP/1.1\r\n\r\n",
                                "CONNECT h HTTP/1.1\r\n\r\n", "CONNECT h:0 HTTP/1.1\r\n\r\n"}) {
        EXPECT_FALSE(ParseProxyTarget(Head(refused))) << refused;
    }
}

TEST(HttpProxyRequest, OriginRequestDropsHopByHopAndProxyFields) {
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
}

TEST(HttpProxyRequest, BasicCredentialsAndBase64) {
    const auto credentials = ReadProxyCredentials(
        Head("GET http://h/ HTTP/1.1\r\nProxy-Authorization: basic YWxpY2U6czpl\r\n\r\n"));
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->user, "alice");
    EXPECT_EQ(credentials->password, "s:e");  // only the first colon separates
    for (const char* bad : {"Bearer YWxpY2U6cw==", "Basic YWxpY2U", "Basic !!!!", "Basic"}) {
        EXPECT_FALSE(ReadProxyCredentials(Head(std::string("GET http://h/ HTTP/1.1\r\n"
                                                           "Proxy-Authorization: ") +
                                               bad + "\r\n\r\n")))
            << bad;
    }
    EXPECT_EQ(DecodeBase64("TWFu"), "Man");
    EXPECT_EQ(DecodeBase64("TWE="), "Ma");
    EXPECT_EQ(DecodeBase64("TQ"), "M");
    EXPECT_FALSE(DecodeBase64("T"));
    EXPECT_EQ(ProxyResponse(407, "Proxy Authentication Required", "X: y\r\n"),
              "HTTP/1.1 407 Proxy Authentication Required\r\nX: y\r\nContent-Length: 0\r\n"
              "Connection: close\r\n\r\n");
}

TEST(ControlProtocol, RequestLinesAndReplyFraming) {
    control::Command command{};
    size_t used = 0;
    EXPECT_EQ(control::ReadRequest("statis", command, used), control::Read::kNeedMore);
    ASSERT_EQ(control::ReadRequest("statistic\r\nengine\r\n", command, used),
              control::Read::kRequest);
    EXPECT_EQ(command, control::Command::kStatistic);
    EXPECT_EQ(used, 11u);
    ASSERT_EQ(control::ReadRequest("flowip\n", command, used), control::Read::kRequest);
    EXPECT_EQ(command, control::Command::kFlowIp);
    ASSERT_EQ(control::ReadRequest("STATISTIC\r\n", command, used), control::Read::kRequest);
    EXPECT_EQ(command, control::Command::kUnknown);
    EXPECT_EQ(control::ReadRequest(std::string(300, 'a'), command, used), control::Read::kTooLong);
    EXPECT_EQ(control::FrameReply("{}"), "2\r\n{}");
    EXPECT_EQ(control::FrameReply(""), "0\r\n");
}

TEST(TrafficStats, FlowsTotalsAndTheLastSecond) {
    TrafficStats stats(1000);
    auto* alice = stats.Open("10.0.0.1", "alice");
    auto* again = stats.Open("10.0.0.1", "alice");
    auto* anonymous = stats.Open("10.0.0.2", "");
    EXPECT_EQ(alice, again);
    stats.Add(alice, 1000);
    stats.Add(anonymous, 24);
    EXPECT_EQ(stats.OnlineUsers(), 1);
    EXPECT_EQ(stats.OnlineDevices(), 2);
    EXPECT_EQ(stats.Connections(), 3);
    stats.Tick(1001);
    EXPECT_EQ(stats.BytesLastSecond(), 1024u);
    EXPECT_EQ(alice->bytesLastSecond, 1000u);
    stats.Close(alice);
    stats.Close(alice);
    stats.Tick(1002);
    EXPECT_EQ(stats.BytesLastSecond(), 0u);
    EXPECT_EQ(stats.Flows().size(), 1u);  // alice's flow ended; her totals stay
    EXPECT_EQ(stats.ByUser().at("alice").bytes, 1000u);
    EXPECT_EQ(stats.ByUser().at("alice").lastActive, 1000);
    EXPECT_EQ(stats.ByUser().count(""), 0u);
    EXPECT_EQ(stats.ByIp().at("10.0.0.2").bytes, 24u);
    EXPECT_EQ(stats.TotalBytes(), 1024u);

    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1536), "1.50 KB");
    EXPECT_EQ(FormatBytes(5ull << 30), "5.00 GB");
}

// A client walking through addresses cannot grow the totals past their bound: the longest
// inactive go first, never one with a live connection; the console reads the reply.
TEST(TrafficStats, TotalsOfManyAddressesAreBoundedAndReadByTheConsole) {
    TrafficStats stats(0, 100);
    stats.Open("10.0.0.0", "alice");  // stays open: oldest, but live
    for (int i = 1; i <= 150; ++i) {
        stats.Tick(i);
        stats.Close(stats.Open("10.0.1." + std::to_string(i), ""));
    }
    stats.Tick(200);
    EXPECT_LE(stats.ByIp().size(), 100u);
    EXPECT_EQ(stats.ByIp().count("10.0.0.0"), 1u);
    EXPECT_EQ(stats.ByIp().count("10.0.1.150"), 1u);
    EXPECT_EQ(stats.ByIp().count("10.0.1.1"), 0u);
    for (const auto& [totals, key] : {std::pair{&stats.ByIp(), "ip"}, {&stats.ByUser(), "user"}}) {
        Json::Value reply;
        std::istringstream(TotalsReply(SnapshotTotals(*totals), key)) >> reply;
        ASSERT_EQ(reply["data"].size(), totals->size());
        EXPECT_EQ(reply["data"][0][key], key == std::string("ip") ? "10.0.0.0" : "alice");
        EXPECT_EQ(reply["data"][0]["total_bytes"], "0 B");
    }
}

}  // namespace
