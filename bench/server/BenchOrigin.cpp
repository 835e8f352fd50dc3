// The origin the proxy benchmarks talk to: everything is served from memory so that the
// figures show the proxy and not a disk or an application.
//
//   HTTP port: HTTP/1.1 with keep-alive (and pipelining); every request head gets a 200 with
//   a 1 KiB body. "Connection: close" or HTTP/1.0 without keep-alive closes after the reply.
//   Bulk port: a sequence of commands, each one byte and an 8-byte big-endian count:
//     'S' count: the origin sends count bytes;
//     'R' count: the origin reads count bytes, then answers one byte 'k'.
//   A connection that sends nothing is simply held (idle tunnels).
//
// Usage: bench_origin [--threads N]; prints "http=PORT bulk=PORT" once both listen on
// 127.0.0.1 (ports chosen by the system).
#include <algorithm>
#include <array>
#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using asio::awaitable;
using asio::use_awaitable;
using asio::ip::tcp;

constexpr size_t kBodySize = 1024;
constexpr size_t kBulkBlock = 1 << 20;
constexpr size_t kMaxHead = 64 * 1024;

const std::string& HttpReply(bool close) {
    static const std::string body(kBodySize, 'b');
    static const std::string keep =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
        "Content-Length: " +
        std::to_string(kBodySize) + "\r\n\r\n" + body;
    static const std::string last =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
        "Connection: close\r\nContent-Length: " +
        std::to_string(kBodySize) + "\r\n\r\n" + body;
    return close ? last : keep;
}

bool ContainsNoCase(std::string_view text, std::string_view needle) {
    auto it =
        std::search(text.begin(), text.end(), needle.begin(), needle.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
    return it != text.end();
}

// Whether the connection ends after this request: HTTP/1.1 unless "close", HTTP/1.0 only
// with "keep-alive".
bool WantsClose(std::string_view head) {
    const size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    if (requestLine.ends_with("HTTP/1.0")) return !ContainsNoCase(head, "connection: keep-alive");
    return ContainsNoCase(head, "connection: close");
}

awaitable<void> ServeHttp(tcp::socket socket) {
    socket.set_option(tcp::no_delay(true));
    std::string pending;
    std::array<char, 16 * 1024> buffer;
    std::string out;
    try {
        for (;;) {
            const size_t count =
                co_await socket.async_read_some(asio::buffer(buffer), use_awaitable);
            pending.append(buffer.data(), count);
            bool close = false;
            size_t end;
            out.clear();
            while (!close && (end = pending.find("\r\n\r\n")) != std::string::npos) {
                close = WantsClose(std::string_view(pending).substr(0, end));
                out += HttpReply(close);
                pending.erase(0, end + 4);
            }
            if (!out.empty()) co_await asio::async_write(socket, asio::buffer(out), use_awaitable);
            if (close || pending.size() > kMaxHead) break;
        }
    } catch (const std::exception&) {
    }
    std::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);
}

awaitable<void> ServeBulk(tcp::socket socket) {
    static const std::vector<char> block(kBulkBlock, 'x');
    std::vector<char> sink(256 * 1024);
    try {
        for (;;) {
            std::array<unsigned char, 9> command;
            co_await asio::async_read(socket, asio::buffer(command), use_awaitable);
            uint64_t count = 0;
            for (size_t i = 1; i < command.size(); ++i) count = (count << 8) | command[i];
            if (command[0] == 'S') {
                while (count > 0) {
                    const size_t piece =
                        static_cast<size_t>(std::min<uint64_t>(count, block.size()));
                    co_await asio::async_write(socket, asio::buffer(block.data(), piece),
                                               use_awaitable);
                    count -= piece;
                }
            } else if (command[0] == 'R') {
                while (count > 0) {
                    const size_t want = static_cast<size_t>(std::min<uint64_t>(count, sink.size()));
                    count -= co_await socket.async_read_some(asio::buffer(sink.data(), want),
                                                             use_awaitable);
                }
                co_await asio::async_write(socket, asio::buffer("k", 1), use_awaitable);
            } else {
                break;
            }
        }
    } catch (const std::exception&) {
    }
}

template <typename Serve>
awaitable<void> Accept(tcp::acceptor& acceptor, Serve serve) {
    asio::steady_timer pause(acceptor.get_executor());
    for (;;) {
        auto [error, socket] =
            co_await acceptor.async_accept(asio::experimental::as_tuple(use_awaitable));
        if (!error) {
            asio::co_spawn(acceptor.get_executor(), serve(std::move(socket)), asio::detached);
            continue;
        }
        // Out of descriptors, most likely: let some connections end first.
        pause.expires_after(std::chrono::milliseconds(10));
        co_await pause.async_wait(use_awaitable);
    }
}

tcp::acceptor Listen(asio::io_context& context) {
    tcp::acceptor acceptor(context);
    const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(4096);
    return acceptor;
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0) threads = std::max(1, std::atoi(argv[i + 1]));
    }
    asio::io_context context(threads);
    tcp::acceptor http = Listen(context);
    tcp::acceptor bulk = Listen(context);
    asio::co_spawn(context, Accept(http, ServeHttp), asio::detached);
    asio::co_spawn(context, Accept(bulk, ServeBulk), asio::detached);
    std::printf("http=%u bulk=%u\n", http.local_endpoint().port(), bulk.local_endpoint().port());
    std::fflush(stdout);
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) workers.emplace_back([&context] { context.run(); });
    context.run();
    for (std::thread& worker : workers) worker.join();
}
