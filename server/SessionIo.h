#pragma once

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

class ClientSession;

// Completion token that reports errors as values (no exceptions on the data path).
inline constexpr auto kNoThrow = asio::experimental::as_tuple(asio::use_awaitable);

// Bytes read from one socket and not yet used, in one fixed block: reads go to its free end,
// parsers look at the unread window, and the window moves to the front only when the free
// end runs out. Relaying reads straight into it, so no byte is copied twice.
class ReadBuffer {
public:
    static constexpr size_t kSize = 32 * 1024;

    ReadBuffer() : data_(new char[kSize]) {}
    std::string_view View() const { return {data_.get() + begin_, end_ - begin_}; }
    size_t Size() const { return end_ - begin_; }
    void Consume(size_t count) {
        begin_ += count;
        if (begin_ == end_) begin_ = end_ = 0;
    }
    // Free space at the end, making room by moving the window to the front if needed.
    asio::mutable_buffer Space() {
        if (end_ == kSize && begin_ > 0) {
            std::memmove(data_.get(), data_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        return asio::buffer(data_.get() + end_, kSize - end_);
    }
    bool Full() const { return begin_ == 0 && end_ == kSize; }
    void Added(size_t count) { end_ += count; }

private:
    std::unique_ptr<char[]> data_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

// One read from the client into the buffer; false at end of stream or on an error.
asio::awaitable<bool> ReadMore(ClientSession& session, asio::ip::tcp::socket& socket,
                               ReadBuffer& buffer);
// Writes all of `bytes` to the socket; false on an error.
asio::awaitable<bool> WriteAll(asio::ip::tcp::socket& socket, std::string_view bytes);
// The same for a text made for the occasion, kept in the coroutine's own frame (g++ 12 may
// destroy temporaries of a co_await expression twice).
asio::awaitable<bool> WriteText(asio::ip::tcp::socket& socket, std::string text);

// Outcome of reaching a destination for a client.
enum class ConnectResult {
    kConnected,
    kNotAllowed,  // loopback for a remote client, or the control port
    kNoSuchHost,
    kRefused,
    kUnreachable,
    kTimedOut,
    kFailed,
};

// Resolves (off the event loop) and connects the session's upstream socket, trying each
// address the name has; the session's deadline bounds the whole step.
asio::awaitable<ConnectResult> ConnectUpstream(ClientSession& session, const std::string& host,
                                               uint16_t port);

// Copies both ways between client and upstream until both have ended, starting with bytes
// the client already sent. Each direction passes on the other's end of stream.
asio::awaitable<void> RelayTunnel(ClientSession& session, ReadBuffer& clientBytes);

// The two protocols on the proxy port; `buffer` holds what the client sent first.
asio::awaitable<void> ServeSocks5(ClientSession& session, ReadBuffer& buffer);
asio::awaitable<void> ServeHttp(ClientSession& session, ReadBuffer& buffer);
