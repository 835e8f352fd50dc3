// The HTTP side of the proxy port: absolute-form requests forwarded to the origin over a
// kept-alive upstream connection, CONNECT tunnels, and Basic proxy authentication.
#include "server/HttpSession.h"

#include <asio/experimental/awaitable_operators.hpp>

#include "server/ClientSession.h"
#include "server/HttpMessageParser.h"
#include "server/HttpProxyRequest.h"
#include "server/SessionIo.h"
#include "server/TunnelRelay.h"
#include "server/metrics/ServerMetrics.h"

namespace {

using Status = HttpMessageParser::Status;

// Longest request or response head accepted.
constexpr size_t kMaxHead = 16 * 1024;

const char kAuthenticate[] = "Proxy-Authenticate: Basic realm=\"TorvoProxy\"\r\n";

std::string FailureResponse(ConnectResult result) {
    switch (result) {
        case ConnectResult::kNotAllowed:
            return ProxyResponse(403, "Forbidden");
        case ConnectResult::kTimedOut:
            return ProxyResponse(504, "Gateway Timeout");
        default:
            return ProxyResponse(502, "Bad Gateway");
    }
}

// What the requests of one client connection share: the client's bytes, the parsers, and
// the kept-alive origin connection (which origin it reaches, and what it sent that has not
// been passed on yet).
struct HttpConnection {
    HttpConnection(ClientSession& client, ReadBuffer& bytes) : session(client), buffer(bytes) {}

    ClientSession& session;
    ReadBuffer& buffer;
    HttpMessageParser request{HttpMessageParser::Kind::kRequest};
    HttpMessageParser response{HttpMessageParser::Kind::kResponse};
    std::string originHost;
    uint16_t originPort = 0;
    std::unique_ptr<ReadBuffer> originBuffer;
    metrics::Clock::time_point requestStarted;  // the current request's head arrived
};

// One request and its response.
struct Exchange {
    bool headRequest = false;      // HEAD: the response ends with its head
    bool interimToClient = false;  // an HTTP/1.1 client: 1xx responses are passed on
    bool requestDone = false;      // the whole request has reached the origin
    bool badBody = false;          // the client's body is framed loosely: refused with 400
    bool awaitingHead = false;     // the response's head has not come yet
};

struct ResponseOutcome {
    bool complete = false;    // a whole final response reached the client
    bool keepAlive = false;   // and both ends may go on
    bool unanswered = false;  // the origin closed or timed out before sending a byte
};

// The wait for a response head starts once the request is whole: a slow upload is bounded
// by the idle time-out, which its progress moves, not by the origin's time to answer.
void AwaitHead(ClientSession& session, const Exchange& exchange) {
    const ServerSettings& settings = session.server.Settings();
    if (exchange.requestDone) {
        session.SetDeadline(settings.responseTimeoutSec, ClientSession::Phase::kUpstream);
    } else {
        session.SetDeadline(settings.idleTimeoutSec);
    }
}

// Reads the next request's head and where it goes. Answers a head too long or unusable
// itself; nothing when the session is to end. A kept-alive client may wait idle for its next
// request, but once that request begins, its head must be complete within the handshake time.
asio::awaitable<std::optional<ProxyTarget>> ReadRequest(HttpConnection& http, bool first,
                                                        HttpHead& head) {
    ClientSession& session = http.session;
    if (!first) session.SetDeadline(session.server.Settings().idleTimeoutSec);
    http.request.Reset();
    Status status;
    bool begun = false;
    while ((status = http.request.ReadHead(http.buffer.View(), kMaxHead, head)) ==
           Status::kNeedMore) {
        if (!first && !begun && http.buffer.Size() > 0) {
            begun = true;
            session.SetDeadline(session.server.Settings().handshakeTimeoutSec);
        }
        if (!co_await ReadMore(session, session.client, http.buffer)) co_return std::nullopt;
    }
    if (status == Status::kTooLarge) {
        session.server.RaiseAlarm(
            "http", "request head from " + session.clientIp + " longer than the limit");
        co_await WriteText(session.client, ProxyResponse(431, "Request Header Fields Too Large"));
        co_return std::nullopt;
    }
    const int refused = status == Status::kBad ? 400 : RefusedRequestStatus(head);
    auto target = refused != 0 ? std::nullopt : ParseProxyTarget(head);
    if (refused == 505) {
        co_await WriteText(session.client, ProxyResponse(505, "HTTP Version Not Supported"));
    } else if (!target) {
        co_await WriteText(session.client, ProxyResponse(400, "Bad Request"));
    }
    co_return target;
}

// Admits the client as the user its credentials name when they are good, or as anonymous
// when it brings none and anonymous access is on; otherwise answers 407 (403 to an account
// that may not be used now). False: not admitted.
asio::awaitable<bool> Authenticate(ClientSession& session, const HttpHead& head) {
    SessionHost& server = session.server;
    LoginAnswer answer{LoginAnswer::kWrongPassword};
    if (const auto credentials = ReadProxyCredentials(head)) {
        answer = co_await server.CheckPassword(session, "http", credentials->user,
                                               credentials->password);
        if (answer == LoginAnswer::kAccepted) {
            session.Admit(credentials->user);
            co_return true;
        }
    } else if (server.Settings().anonymousAllowed) {
        session.Admit(std::string());
        co_return true;
    }
    // An account that may not be used now is no question of credentials; nor is a login that
    // was not checked now (a 407 would make the browser ask for the password again).
    std::string refusal;
    if (answer == LoginAnswer::kRefused) {
        refusal = ProxyResponse(403, "Forbidden");
    } else if (answer == LoginAnswer::kBusy) {
        refusal =
            ProxyResponse(503, "Service Unavailable",
                          "Retry-After: " + std::to_string(answer.retryAfterSeconds) + "\r\n");
    } else {
        refusal = ProxyResponse(407, "Proxy Authentication Required", kAuthenticate);
    }
    co_await WriteText(session.client, std::move(refusal));
    co_return false;
}

// Connects the upstream for `target`, or answers the client why not.
asio::awaitable<bool> Reach(HttpConnection& http, const ProxyTarget& target) {
    const ConnectResult result = co_await ConnectUpstream(http.session, target.host, target.port);
    if (result != ConnectResult::kConnected) {
        co_await WriteText(http.session.client, FailureResponse(result));
        co_return false;
    }
    http.originHost = target.host;
    http.originPort = target.port;
    http.originBuffer = std::make_unique<ReadBuffer>();
    co_return true;
}

// A kept-alive origin connection is used again for the same origin, and only while it holds
// no unasked-for bytes.
bool Reusable(HttpConnection& http, const ProxyTarget& target) {
    asio::ip::tcp::socket& upstream = http.session.upstream;
    asio::error_code error;
    return upstream.is_open() && http.originHost == target.host && http.originPort == target.port &&
           http.originBuffer != nullptr && http.originBuffer->Size() == 0 &&
           upstream.available(error) == 0 && !error;
}

// Passes the request body (chunked or with a length) from the client to the origin.
asio::awaitable<void> ForwardBody(HttpConnection& http, Exchange& exchange) {
    ClientSession& session = http.session;
    ReadBuffer& buffer = http.buffer;
    bool& done = exchange.requestDone;
    while (!done) {
        if (buffer.Size() > 0) {
            size_t used = 0;
            const Status status = http.request.ReadBody(buffer.View(), used);
            if (status == Status::kBad) {
                // The origin has part of a request it must not act on: its connection goes.
                exchange.badBody = true;
                asio::error_code ignored;
                session.upstream.close(ignored);
                break;
            }
            if (used > 0) {
                if (!co_await WriteAll(session.upstream, buffer.View().substr(0, used))) break;
                session.Moved(used, metrics::Direction::kUpload);
                buffer.Consume(used);
            }
            if (status == Status::kComplete) {
                done = true;
                if (exchange.awaitingHead) AwaitHead(session, exchange);
                break;
            }
            if (buffer.Size() > 0) continue;
        }
        if (!co_await ReadMore(session, session.client, buffer)) break;
    }
}

// One response of the origin on its way to the client (see RelayResponse): what has been
// parsed and sent of it so far.
class ResponseRelay {
public:
    ResponseRelay(HttpConnection& http, Exchange& exchange, ResponseOutcome& outcome)
        : session(http.session),
          buffer(*http.originBuffer),
          exchange(exchange),
          outcome(outcome),
          parser_(http.response),
          receivedAny_(buffer.Size() > 0),
          requestStarted_(http.requestStarted) {}

    // A head is awaited: at the start, and after an interim response.
    void ExpectHead() {
        parser_.Reset(exchange.headRequest);
        inHead_ = true;
        exchange.awaitingHead = true;
        AwaitHead(session, exchange);
    }

    // Parses the bytes after those ready to be sent: the head until it is whole, then the
    // body. `used`: how many more are ready.
    Status ParseNext(size_t& used) {
        const std::string_view unparsed = buffer.View().substr(ready);
        if (!inHead_) {
            return unparsed.empty() ? Status::kNeedMore : parser_.ReadBody(unparsed, used);
        }
        Status status = parser_.ReadHead(unparsed, kMaxHead, head);
        // The proxy never passes Upgrade on, so no origin may switch protocols.
        if (head.status == 101) status = Status::kBad;
        if (status == Status::kHead || status == Status::kComplete) {
            used = head.length;
            metrics::CountResponse(head.status);
            if (head.status >= 200)
                metrics::ObserveSince(metrics::Server().requestDuration, requestStarted_);
            inHead_ = false;
            exchange.awaitingHead = false;
            session.SetDeadline(session.server.Settings().idleTimeoutSec);
        }
        return status;
    }

    // The ready bytes went to the client.
    void Sent() {
        sentAny = true;
        session.Moved(ready, metrics::Direction::kDownload);
        buffer.Consume(ready);
        ready = 0;
    }

    void Completed() {
        outcome.complete = true;
        outcome.keepAlive = head.keepAlive;
        // Bytes after the final response answer nothing the proxy asked: they never reach a
        // client, and the connection they came on is not used again.
        if (buffer.Size() > 0) {
            asio::error_code ignored;
            session.upstream.close(ignored);
        }
    }

    // The origin has ended its sending: true when that completes the response (a body that
    // runs until the origin closes); otherwise the relay is over: the origin sent nothing at
    // all (`unanswered`) or the response broke off (the session ends).
    bool EndedByOrigin() {
        if (!inHead_ && head.bodyUntilEof && parser_.Finish()) {
            outcome.complete = true;
            return true;
        }
        if (!receivedAny_ && !session.Closed()) {
            outcome.unanswered = true;
        } else {
            session.Close();
        }
        return false;
    }
    void Received() { receivedAny_ = true; }

    ClientSession& session;
    ReadBuffer& buffer;
    Exchange& exchange;
    ResponseOutcome& outcome;
    HttpHead head;
    bool sentAny = false;
    size_t ready = 0;  // parsed bytes at the front of the buffer, waiting to be sent

private:
    HttpMessageParser& parser_;
    bool inHead_ = true;
    bool receivedAny_;
    metrics::Clock::time_point requestStarted_;
};

// Passes the origin's response to the client, interim (1xx) responses included, finding its
// end without touching the body bytes: a head goes out together with the body bytes that
// came with it, in one write. Answers 502 itself to a broken response head; an origin that
// sends nothing at all is left to the caller (`unanswered`).
asio::awaitable<void> RelayResponse(ResponseRelay& relay) {
    ClientSession& session = relay.session;
    ReadBuffer& buffer = relay.buffer;
    relay.ExpectHead();
    for (;;) {
        size_t used = 0;
        const Status status = relay.ParseNext(used);
        if (status == Status::kBad || status == Status::kTooLarge) {
            if (!relay.sentAny)
                co_await WriteText(session.client, ProxyResponse(502, "Bad Gateway"));
            session.Close();
            co_return;
        }
        const bool interim = status == Status::kComplete && relay.head.status < 200;
        if (interim && !relay.exchange.interimToClient) {
            buffer.Consume(used);  // an HTTP/1.0 client must not see it (RFC 9110 15.2)
            used = 0;
        }
        relay.ready += used;
        if (relay.ready > 0 && (status == Status::kComplete || relay.ready == buffer.Size())) {
            if (!co_await WriteAll(session.client, buffer.View().substr(0, relay.ready))) {
                session.Close();
                co_return;
            }
            relay.Sent();
        }
        if (interim) {  // the final response follows
            relay.ExpectHead();
            continue;
        }
        if (status == Status::kComplete) {
            relay.Completed();
            break;
        }
        if (status == Status::kNeedMore || buffer.Size() == 0) {
            if (co_await ReadMore(session, session.upstream, buffer)) {
                relay.Received();
            } else if (relay.EndedByOrigin()) {
                break;
            } else {
                co_return;
            }
        }
    }
    // The client may still be sending a body the origin no longer waits for.
    if (!relay.exchange.requestDone) {
        asio::error_code ignored;
        session.client.cancel(ignored);
    }
}

// Safe methods only: a request the origin may have carried out before it dropped the
// connection (a DELETE, a POST) is never sent twice.
bool Retriable(const HttpHead& head) {
    return head.complete && (head.method == HTTP_GET || head.method == HTTP_HEAD ||
                             head.method == HTTP_OPTIONS || head.method == HTTP_TRACE);
}

// Sends the request to the origin, its body alongside, and relays the response. A kept-alive
// origin connection may have been closed by the origin meanwhile: a safe request without a
// body is sent once more on a fresh connection. Answers the client itself when no response
// comes; false then, and whenever the session is to end.
asio::awaitable<bool> Forward(HttpConnection& http, const HttpHead& head, const ProxyTarget& target,
                              bool reused, ResponseOutcome& outcome) {
    using namespace asio::experimental::awaitable_operators;
    ClientSession& session = http.session;
    const std::string originRequest = BuildOriginRequest(head, target);
    Exchange exchange;
    exchange.headRequest = head.method == HTTP_HEAD;
    exchange.interimToClient = head.versionMajor == 1 && head.versionMinor >= 1;
    exchange.requestDone = head.complete;
    for (;;) {
        outcome = {};
        if (!co_await WriteAll(session.upstream, originRequest)) {
            outcome.unanswered = true;
        } else if (exchange.requestDone) {  // no body to pass on alongside
            ResponseRelay relay(http, exchange, outcome);
            co_await RelayResponse(relay);
        } else {
            ResponseRelay relay(http, exchange, outcome);
            co_await (ForwardBody(http, exchange) && RelayResponse(relay));
        }
        if (!outcome.unanswered || session.Closed()) break;
        if (exchange.badBody) {
            co_await WriteText(session.client, ProxyResponse(400, "Bad Request"));
            co_return false;
        }
        if (reused && Retriable(head) && !session.upstreamTimedOut) {
            reused = false;
            if (!co_await Reach(http, target)) co_return false;
            continue;
        }
        std::string answer = session.upstreamTimedOut ? ProxyResponse(504, "Gateway Timeout")
                                                      : ProxyResponse(502, "Bad Gateway");
        co_await WriteText(session.client, std::move(answer));
        co_return false;
    }
    co_return !session.Closed() && exchange.requestDone && outcome.complete;
}

}  // namespace

asio::awaitable<void> ServeHttp(ClientSession& session, ReadBuffer& buffer) {
    HttpConnection http(session, buffer);
    for (bool first = true; !session.Closed(); first = false) {
        HttpHead head;
        const auto target = co_await ReadRequest(http, first, head);
        if (!target) co_return;
        http.requestStarted = metrics::Start();
        if (!co_await Authenticate(session, head)) co_return;
        buffer.Consume(head.length);
        session.Moved(head.length, metrics::Direction::kUpload);

        const bool tunnel = head.method == HTTP_CONNECT;
        if (tunnel) session.protocol = ClientSession::Protocol::kConnect;
        session.SetDestination(target->host, target->port);
        const bool reused = !tunnel && Reusable(http, *target);
        if (!reused && !co_await Reach(http, *target)) co_return;
        session.server.RecordAccess(session, head.target);
        if (tunnel) {
            metrics::CountResponse(200);
            metrics::ObserveSince(metrics::Server().requestDuration, http.requestStarted);
            metrics::CountTunnel(metrics::Protocol::kHttp);
            if (co_await WriteAll(session.client, "HTTP/1.1 200 Connection established\r\n\r\n")) {
                co_await RelayTunnel(session, buffer);
            }
            co_return;
        }

        ResponseOutcome outcome;
        if (!co_await Forward(http, head, *target, reused, outcome)) co_return;
        if (!outcome.keepAlive) {
            asio::error_code ignored;
            session.upstream.close(ignored);
        }
        if (!head.keepAlive || !outcome.keepAlive) co_return;
    }
}
