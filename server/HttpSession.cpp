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

// Passes the request body (chunked or with a length) from the client to the origin.
asio::awaitable<void> ForwardBody(ClientSession& session, HttpMessageParser& request,
                                  ReadBuffer& buffer, bool& done) {
    while (!done) {
        if (buffer.Size() > 0) {
            size_t used = 0;
            const Status status = request.ReadBody(buffer.View(), used);
            if (status == Status::kBad) break;
            if (used > 0) {
                if (!co_await WriteAll(session.upstream, buffer.View().substr(0, used))) break;
                session.Moved(used);
                buffer.Consume(used);
            }
            if (status == Status::kComplete) {
                done = true;
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
                                    ReadBuffer& buffer, bool headRequest, const bool& requestDone,
                                    ResponseOutcome& outcome) {
    ProxyServer& server = session.server;
    bool sentAny = false;
    bool receivedAny = buffer.Size() > 0;
    bool inHead = true;
    HttpHead head;
    response.Reset(headRequest);
    session.SetDeadline(server.Settings().upstreamTimeoutSec, ClientSession::Phase::kUpstream);
    // Bytes at the front of the buffer that were parsed and wait to be sent: a head goes out
    // together with the body bytes that came with it, in one write.
    size_t ready = 0;
    for (;;) {
        Status status = Status::kNeedMore;
        size_t used = 0;
        const std::string_view unparsed = buffer.View().substr(ready);
        if (inHead) {
            status = response.ReadHead(unparsed, kMaxHead, head);
            if (status == Status::kHead || status == Status::kComplete) {
                used = head.length;
                inHead = false;
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
        if (status == Status::kComplete) {
            if (head.status >= 100 && head.status < 200 && head.status != 101) {
                response.Reset(headRequest);  // an interim response: the final one follows
                inHead = true;
                continue;
            }
            outcome.complete = head.status != 101;  // no protocol switch through the proxy
            outcome.keepAlive = head.keepAlive && outcome.complete;
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
    if (!requestDone) {
        asio::error_code ignored;
        session.client.cancel(ignored);
    }
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
            if (!server.CheckPassword(credentials->user, credentials->password)) {
                server.RaiseAlarm("http", "login of user \"" + credentials->user + "\" from " +
                                              session.clientIp + " failed");
                co_await WriteText(
                    session.client,
                    ProxyResponse(407, "Proxy Authentication Required", kAuthenticate));
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
                      upstreamHost == target->host && upstreamPort == target->port;
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
        bool requestDone = head.complete;
        ResponseOutcome outcome;
        for (;;) {
            outcome = {};
            if (!co_await WriteAll(session.upstream, originRequest)) {
                outcome.unanswered = true;
            } else if (requestDone) {  // no body to pass on alongside
                co_await RelayResponse(session, response, *upstreamBuffer, head.method == HTTP_HEAD,
                                       requestDone, outcome);
            } else {
                co_await (ForwardBody(session, request, buffer, requestDone) &&
                          RelayResponse(session, response, *upstreamBuffer,
                                        head.method == HTTP_HEAD, requestDone, outcome));
            }
            if (!outcome.unanswered || session.Closed()) break;
            // A kept-alive origin connection may have been closed by the origin meanwhile: a
            // request without a body is sent once more on a fresh connection.
            if (reused && head.complete && !session.upstreamTimedOut) {
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
        if (session.Closed() || !requestDone || !outcome.complete) co_return;
        if (!outcome.keepAlive) {
            asio::error_code ignored;
            session.upstream.close(ignored);
        }
        if (!head.keepAlive || !outcome.keepAlive) co_return;
    }
}
