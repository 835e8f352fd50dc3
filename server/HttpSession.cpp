// The HTTP side of the proxy port: absolute-form requests forwarded to the origin over a
// kept-alive upstream connection, CONNECT tunnels, and Basic proxy authentication.
#include <asio/experimental/awaitable_operators.hpp>

#include "server/ClientSession.h"
#include "server/HttpMessageParser.h"
#include "server/HttpProxyRequest.h"
#include "server/ProxyServer.h"
#include "server/SessionIo.h"

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

// One request and its response.
struct Exchange {
    bool headRequest = false;      // HEAD: the response ends with its head
    bool interimToClient = false;  // an HTTP/1.1 client: 1xx responses are passed on
    bool requestDone = false;      // the whole request has reached the origin
    bool badBody = false;          // the client's body is framed loosely: refused with 400
    bool awaitingHead = false;     // the response's head has not come yet
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

// Passes the request body (chunked or with a length) from the client to the origin.
asio::awaitable<void> ForwardBody(ClientSession& session, HttpMessageParser& request,
                                  ReadBuffer& buffer, Exchange& exchange) {
    bool& done = exchange.requestDone;
    while (!done) {
        if (buffer.Size() > 0) {
            size_t used = 0;
            const Status status = request.ReadBody(buffer.View(), used);
            if (status == Status::kBad) {
                // The origin has part of a request it must not act on: its connection goes.
                exchange.badBody = true;
                asio::error_code ignored;
                session.upstream.close(ignored);
                break;
            }
            if (used > 0) {
                if (!co_await WriteAll(session.upstream, buffer.View().substr(0, used))) break;
                session.Moved(used);
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

// Connects the upstream for `target`, or answers the client why not.
asio::awaitable<bool> Reach(ClientSession& session, const ProxyTarget& target,
                            std::string& upstreamHost, uint16_t& upstreamPort,
                            std::unique_ptr<ReadBuffer>& upstreamBuffer) {
    const ConnectResult result = co_await ConnectUpstream(session, target.host, target.port);
    if (result != ConnectResult::kConnected) {
        co_await WriteText(session.client, FailureResponse(result));
        co_return false;
    }
    upstreamHost = target.host;
    upstreamPort = target.port;
    upstreamBuffer = std::make_unique<ReadBuffer>();
    co_return true;
}

struct ResponseOutcome {
    bool complete = false;    // a whole final response reached the client
    bool keepAlive = false;   // and both ends may go on
    bool unanswered = false;  // the origin closed or timed out before sending a byte
};

// Passes the origin's response to the client, interim (1xx) responses included, finding its
// end without touching the body bytes. Answers 502 itself to a broken response head; an
// origin that sends nothing at all is left to the caller (`unanswered`).
asio::awaitable<void> RelayResponse(ClientSession& session, HttpMessageParser& response,
                                    ReadBuffer& buffer, Exchange& exchange,
                                    ResponseOutcome& outcome) {
    ProxyServer& server = session.server;
    bool sentAny = false;
    bool receivedAny = buffer.Size() > 0;
    bool inHead = true;
    HttpHead head;
    response.Reset(exchange.headRequest);
    exchange.awaitingHead = true;
    AwaitHead(session, exchange);
    // Bytes at the front of the buffer that were parsed and wait to be sent: a head goes out
    // together with the body bytes that came with it, in one write.
    size_t ready = 0;
    for (;;) {
        Status status = Status::kNeedMore;
        size_t used = 0;
        const std::string_view unparsed = buffer.View().substr(ready);
        if (inHead) {
            status = response.ReadHead(unparsed, kMaxHead, head);
            // The proxy never passes Upgrade on, so no origin may switch protocols.
            if (head.status == 101) status = Status::kBad;
            if (status == Status::kHead || status == Status::kComplete) {
                used = head.length;
                inHead = false;
                exchange.awaitingHead = false;
                session.SetDeadline(server.Settings().idleTimeoutSec);
            }
        } else if (!unparsed.empty()) {
            status = response.ReadBody(unparsed, used);
        }
        if (status == Status::kBad || status == Status::kTooLarge) {
            if (!sentAny) co_await WriteText(session.client, ProxyResponse(502, "Bad Gateway"));
            session.Close();
            co_return;
        }
        const bool interim = status == Status::kComplete && head.status < 200;
        if (interim && !exchange.interimToClient) {
            buffer.Consume(used);  // an HTTP/1.0 client must not see it (RFC 9110 15.2)
            used = 0;
        }
        ready += used;
        if (ready > 0 && (status == Status::kComplete || ready == buffer.Size())) {
            if (!co_await WriteAll(session.client, buffer.View().substr(0, ready))) {
                session.Close();
                co_return;
            }
            sentAny = true;
            session.Moved(ready);
            buffer.Consume(ready);
            ready = 0;
        }
        if (interim) {  // the final response follows
            response.Reset(exchange.headRequest);
            inHead = true;
            exchange.awaitingHead = true;
            AwaitHead(session, exchange);
            continue;
        }
        if (status == Status::kComplete) {
            outcome.complete = true;
            outcome.keepAlive = head.keepAlive;
            // Bytes after the final response answer nothing the proxy asked: they never
            // reach a client, and the connection they came on is not used again.
            if (buffer.Size() > 0) {
                asio::error_code ignored;
                session.upstream.close(ignored);
            }
            break;
        }
        if (status == Status::kNeedMore || buffer.Size() == 0) {
            const bool more = co_await ReadMore(session, session.upstream, buffer);
            receivedAny = receivedAny || more;
            if (!more) {
                if (!inHead && head.bodyUntilEof && response.Finish()) {
                    outcome.complete = true;  // the body ran until the origin closed
                    break;
                }
                if (!receivedAny && !session.Closed()) {
                    outcome.unanswered = true;
                    co_return;
                }
                session.Close();
                co_return;
            }
        }
    }
    // The client may still be sending a body the origin no longer waits for.
    if (!exchange.requestDone) {
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

// A kept-alive origin connection is used again only while it holds no unasked-for bytes.
bool Quiet(asio::ip::tcp::socket& upstream, const ReadBuffer* buffer) {
    asio::error_code error;
    return buffer != nullptr && buffer->Size() == 0 && upstream.available(error) == 0 && !error;
}

}  // namespace

asio::awaitable<void> ServeHttp(ClientSession& session, ReadBuffer& buffer) {
    using namespace asio::experimental::awaitable_operators;
    ProxyServer& server = session.server;
    HttpMessageParser request(HttpMessageParser::Kind::kRequest);
    HttpMessageParser response(HttpMessageParser::Kind::kResponse);
    std::unique_ptr<ReadBuffer> upstreamBuffer;
    std::string upstreamHost;
    uint16_t upstreamPort = 0;

    for (bool first = true; !session.Closed(); first = false) {
        if (!first) session.SetDeadline(server.Settings().idleTimeoutSec);
        request.Reset();
        HttpHead head;
        Status status;
        // A kept-alive client may wait idle for its next request, but once that request
        // begins, its head must be complete within the handshake time.
        bool begun = false;
        while ((status = request.ReadHead(buffer.View(), kMaxHead, head)) == Status::kNeedMore) {
            if (!first && !begun && buffer.Size() > 0) {
                begun = true;
                session.SetDeadline(server.Settings().handshakeTimeoutSec);
            }
            if (!co_await ReadMore(session, session.client, buffer)) co_return;
        }
        if (status == Status::kTooLarge) {
            server.RaiseAlarm("http",
                              "request head from " + session.clientIp + " longer than the limit");
            co_await WriteText(session.client,
                               ProxyResponse(431, "Request Header Fields Too Large"));
            co_return;
        }
        const auto target = status == Status::kBad ? std::nullopt : ParseProxyTarget(head);
        if (!target) {
            co_await WriteText(session.client, ProxyResponse(400, "Bad Request"));
            co_return;
        }

        std::string user;
        if (const auto credentials = ReadProxyCredentials(head)) {
            const LoginAnswer answer = co_await server.CheckPassword(
                session, "http", credentials->user, credentials->password);
            if (answer != LoginAnswer::kAccepted) {
                // An account that may not be used now is no question of credentials.
                std::string refusal =
                    answer == LoginAnswer::kRefused
                        ? ProxyResponse(403, "Forbidden")
                        : ProxyResponse(407, "Proxy Authentication Required", kAuthenticate);
                co_await WriteText(session.client, std::move(refusal));
                co_return;
            }
            user = credentials->user;
        } else if (!server.Settings().anonymousAllowed) {
            co_await WriteText(session.client,
                               ProxyResponse(407, "Proxy Authentication Required", kAuthenticate));
            co_return;
        }
        session.Admit(user);
        buffer.Consume(head.length);
        session.Moved(head.length);

        bool reused = head.method != HTTP_CONNECT && session.upstream.is_open() &&
                      upstreamHost == target->host && upstreamPort == target->port &&
                      Quiet(session.upstream, upstreamBuffer.get());
        if (!reused &&
            !co_await Reach(session, *target, upstreamHost, upstreamPort, upstreamBuffer)) {
            co_return;
        }

        if (head.method == HTTP_CONNECT) {
            server.RecordAccess(session, head.target);
            if (co_await WriteAll(session.client, "HTTP/1.1 200 Connection established\r\n\r\n")) {
                co_await RelayTunnel(session, buffer);
            }
            co_return;
        }

        server.RecordAccess(session, head.target);
        const std::string originRequest = BuildOriginRequest(head, *target);
        Exchange exchange;
        exchange.headRequest = head.method == HTTP_HEAD;
        exchange.interimToClient = head.versionMajor == 1 && head.versionMinor >= 1;
        exchange.requestDone = head.complete;
        ResponseOutcome outcome;
        for (;;) {
            outcome = {};
            if (!co_await WriteAll(session.upstream, originRequest)) {
                outcome.unanswered = true;
            } else if (exchange.requestDone) {  // no body to pass on alongside
                co_await RelayResponse(session, response, *upstreamBuffer, exchange, outcome);
            } else {
                co_await (ForwardBody(session, request, buffer, exchange) &&
                          RelayResponse(session, response, *upstreamBuffer, exchange, outcome));
            }
            if (!outcome.unanswered || session.Closed()) break;
            if (exchange.badBody) {
                co_await WriteText(session.client, ProxyResponse(400, "Bad Request"));
                co_return;
            }
            // A kept-alive origin connection may have been closed by the origin meanwhile: a
            // safe request without a body is sent once more on a fresh connection.
            if (reused && Retriable(head) && !session.upstreamTimedOut) {
                reused = false;
                if (!co_await Reach(session, *target, upstreamHost, upstreamPort, upstreamBuffer)) {
                    co_return;
                }
                continue;
            }
            std::string answer = session.upstreamTimedOut ? ProxyResponse(504, "Gateway Timeout")
                                                          : ProxyResponse(502, "Bad Gateway");
            co_await WriteText(session.client, std::move(answer));
            co_return;
        }
        if (session.Closed() || !exchange.requestDone || !outcome.complete) co_return;
        if (!outcome.keepAlive) {
            asio::error_code ignored;
            session.upstream.close(ignored);
        }
        if (!head.keepAlive || !outcome.keepAlive) co_return;
    }
}
