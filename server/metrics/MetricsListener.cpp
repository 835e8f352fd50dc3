#include "server/metrics/MetricsListener.h"

#include <memory>

#include "server/SessionIo.h"
#include "server/metrics/ScrapeRequest.h"

using asio::ip::tcp;

MetricsListener::MetricsListener(asio::io_context& io, Hooks hooks)
    : io_(io), hooks_(std::move(hooks)), acceptor_(io) {}

bool MetricsListener::Open(const tcp::endpoint& endpoint, std::string& error) {
    asio::error_code failure;
    acceptor_.open(endpoint.protocol(), failure);
    if (!failure && endpoint.address().is_v6() && endpoint.address().is_unspecified()) {
        acceptor_.set_option(asio::ip::v6_only(false), failure);
    }
    if (!failure) acceptor_.set_option(tcp::acceptor::reuse_address(true), failure);
    if (!failure) acceptor_.bind(endpoint, failure);
    if (!failure) acceptor_.listen(asio::socket_base::max_listen_connections, failure);
    if (failure) {
        asio::error_code ignored;
        acceptor_.close(ignored);
        error = failure.message();
        return false;
    }
    asio::co_spawn(io_, Accept(), asio::detached);
    return true;
}

void MetricsListener::Close() {
    closing_ = true;
    asio::error_code ignored;
    acceptor_.close(ignored);
    for (tcp::socket* socket : open_) socket->close(ignored);
}

tcp::endpoint MetricsListener::Endpoint() const {
    asio::error_code ignored;
    return acceptor_.local_endpoint(ignored);
}

asio::awaitable<void> MetricsListener::Accept() {
    tcp::endpoint peer;
    asio::steady_timer pause(io_);
    while (!closing_) {
        auto [error, socket] = co_await acceptor_.async_accept(peer, kNoThrow);
        if (closing_ || error == asio::error::operation_aborted) break;
        if (error) {  // out of descriptors: wait rather than spin
            pause.expires_after(std::chrono::milliseconds(100));
            co_await pause.async_wait(kNoThrow);
            continue;
        }
        auto from = peer.address();
        if (from.is_v6() && from.to_v6().is_v4_mapped()) {
            from = asio::ip::make_address_v4(asio::ip::v4_mapped, from.to_v6());
        }
        // Turned away before a byte is read: the socket closes as it goes out of scope.
        if (!hooks_.allowed(from) || open_.size() >= kMaxConnections) continue;
        asio::co_spawn(io_, Serve(std::move(socket)), asio::detached);
    }
}

asio::awaitable<void> MetricsListener::Serve(tcp::socket socket) {
    // The whole exchange within the limit: a client that trickles its request or does not read
    // the answer is closed. The timer's handler may be queued already when the exchange ends,
    // so it reaches the socket only through `alive`, which the end clears.
    const auto alive = std::make_shared<tcp::socket*>(&socket);
    asio::steady_timer deadline(io_);
    struct Open {
        std::unordered_set<tcp::socket*>& open;
        tcp::socket& socket;
        std::shared_ptr<tcp::socket*> alive;
        asio::steady_timer& deadline;
        ~Open() {
            open.erase(&socket);
            *alive = nullptr;
            deadline.cancel();
        }
    } held{open_, socket, alive, deadline};
    open_.insert(&socket);
    deadline.expires_after(std::chrono::seconds(hooks_.timeoutSeconds()));
    deadline.async_wait([alive](const asio::error_code& error) {
        asio::error_code ignored;
        if (!error && *alive != nullptr) (*alive)->close(ignored);
    });
    std::string bytes;
    char chunk[1024];
    metrics::ScrapeRequest request;
    while ((request = metrics::ReadScrapeRequest(bytes)).kind ==
           metrics::ScrapeRequest::Kind::kIncomplete) {
        auto [error, count] = co_await socket.async_read_some(asio::buffer(chunk), kNoThrow);
        if (error || count == 0) break;
        bytes.append(chunk, count);
    }
    if (request.kind == metrics::ScrapeRequest::Kind::kIncomplete || !socket.is_open()) co_return;
    const std::string page = request.kind == metrics::ScrapeRequest::Kind::kMetrics
                                 ? hooks_.page(request.format)
                                 : std::string();
    if (co_await WriteAll(socket, metrics::ScrapeResponse(request, page))) {
        asio::error_code ignored;
        socket.shutdown(tcp::socket::shutdown_send, ignored);
    }
}
