// Both directions of an established tunnel (SOCKS5 CONNECT or HTTP CONNECT). Each direction
// starts as a copy loop through a buffer that exists only while bytes wait in it; once it
// has carried a bulk of bytes it moves them socket to pipe to socket with splice(), so they
// never pass through this process. Without a pipe (descriptors exhausted) or where splice()
// is refused, the copy loop goes on.
#include "server/TunnelRelay.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <asio/experimental/awaitable_operators.hpp>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "server/ClientSession.h"
#include "server/SessionIo.h"
#include "server/metrics/ServerMetrics.h"

using asio::ip::tcp;

namespace {

// A direction switches to splice() after this many bytes: short exchanges never pay for a pipe.
constexpr size_t kSpliceAfter = 256 * 1024;
// What a waiting direction reads into (more than most requests and answers of an exchange).
constexpr size_t kWaitingRead = 512;
// Pipe capacity asked for (the system's default of 64 KiB stays when refused).
constexpr int kPipeSize = 256 * 1024;
constexpr size_t kMinPipeSize = 64 * 1024;

// The pipe one direction splices through; both ends non-blocking.
class SplicePipe {
public:
    SplicePipe() {
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
        read_ = ends[0];
        write_ = ends[1];
        ::fcntl(write_, F_SETPIPE_SZ, kPipeSize);
        const int size = ::fcntl(write_, F_GETPIPE_SZ);
        capacity_ = size > 0 ? static_cast<size_t>(size) : 0;
    }
    ~SplicePipe() {
        if (read_ >= 0) ::close(read_);
        if (write_ >= 0) ::close(write_);
    }
    SplicePipe(const SplicePipe&) = delete;
    SplicePipe& operator=(const SplicePipe&) = delete;

    // Past the account's pipe allowance the system gives a pipe a page or two, which moves
    // bytes slower than the copy loop's buffer: such a pipe is not used.
    bool Usable() const { return read_ >= 0 && capacity_ >= kMinPipeSize; }
    int ReadEnd() const { return read_; }
    int WriteEnd() const { return write_; }
    size_t Capacity() const { return capacity_; }

private:
    int read_ = -1;
    int write_ = -1;
    size_t capacity_ = 0;
};

// How a direction stopped: `from` ended (or `to` could take no more, which the other
// direction will see too), `from` broke, it carried a bulk of bytes, or splice() was refused.
enum class End { kEnded, kBroken, kBulk, kSpliceRefused };

// Which way bytes from `from` go, for the metrics.
metrics::Direction Direction(const ClientSession& session, const tcp::socket& from) {
    return &from == &session.client ? metrics::Direction::kUpload : metrics::Direction::kDownload;
}

// Waits until `socket` can be read or written; false when the session ended meanwhile.
asio::awaitable<bool> Ready(ClientSession& session, tcp::socket& socket,
                            tcp::socket::wait_type what) {
    auto [error] = co_await socket.async_wait(what, kNoThrow);
    co_return !error && !session.Closed();
}

// Copies until the end of `from`, or (unless `stayCopying`) until the direction has carried
// kSpliceAfter bytes. A direction that waits reads into a few bytes of its own frame and holds
// no block; only while reads fill all the room they have does it read on, without waiting,
// through the buffer, whose block is given back once the socket has no more.
asio::awaitable<End> Copy(ClientSession& session, tcp::socket& from, tcp::socket& to,
                          ReadBuffer& buffer, bool stayCopying) {
    std::array<char, kWaitingRead> waiting;
    size_t moved = 0;
    bool more = false;  // the last read filled its room: more bytes may be there already
    for (;;) {
        if (buffer.Size() > 0) {
            const std::string_view bytes = buffer.View();
            if (!co_await WriteAll(to, bytes)) co_return End::kEnded;
            session.Moved(bytes.size(), Direction(session, from));
            moved += bytes.size();
            buffer.Consume(bytes.size());
        }
        if (session.Closed()) co_return End::kBroken;
        if (!stayCopying && moved >= kSpliceAfter) co_return End::kBulk;
        asio::error_code error;
        size_t count = 0;
        size_t room = 0;
        const bool paced = session.Paced();
        if (paced && !co_await Pace(session)) co_return End::kBroken;
        if (more) {
            auto space = buffer.Space();
            if (paced) space = asio::buffer(space, session.meter->PacedChunk());
            room = space.size();
            count = from.read_some(space, error);
            if (error == asio::error::would_block) {
                more = false;
                continue;
            }
        } else {
            buffer.Release();
            // (Named results: g++ 12 mishandles temporaries around co_await.)
            auto [readError, readCount] =
                co_await from.async_read_some(asio::buffer(waiting), kNoThrow);
            error = readError;
            count = readCount;
            room = waiting.size();
            if (!error) std::memcpy(buffer.Space().data(), waiting.data(), count);
        }
        if (error == asio::error::eof) co_return End::kEnded;
        if (error) co_return End::kBroken;
        more = count == room;
        buffer.Added(count);
    }
}

// Moves bytes through `pipe` until the end of `from`. kSpliceRefused when the system refuses
// splice() on these sockets before a byte went through (nothing is lost: the copy loop
// takes over).
asio::awaitable<End> Splice(ClientSession& session, tcp::socket& from, tcp::socket& to,
                            const SplicePipe& pipe) {
    bool any = false;
    for (;;) {
        size_t take = pipe.Capacity();
        if (session.Paced()) {  // a bandwidth given while the tunnel was splicing
            if (!co_await Pace(session)) co_return End::kBroken;
            take = std::min(take, session.meter->PacedChunk());
        }
        const ssize_t in = ::splice(from.native_handle(), nullptr, pipe.WriteEnd(), nullptr, take,
                                    SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (in == 0) co_return End::kEnded;
        if (in < 0) {
            const int failure = errno;
            if (failure == EINTR) continue;
            // The pipe is empty here, so "would block" is the socket's.
            if (failure == EAGAIN) {
                if (!co_await Ready(session, from, tcp::socket::wait_read)) co_return End::kBroken;
                continue;
            }
            co_return !any && (failure == EINVAL || failure == ENOSYS) ? End::kSpliceRefused
                                                                       : End::kBroken;
        }
        any = true;
        for (size_t inPipe = static_cast<size_t>(in); inPipe > 0;) {
            const ssize_t out = ::splice(pipe.ReadEnd(), nullptr, to.native_handle(), nullptr,
                                         inPipe, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (out > 0) {
                inPipe -= static_cast<size_t>(out);
                session.Moved(static_cast<size_t>(out), Direction(session, from));
            } else if (out < 0 && errno == EAGAIN) {
                if (!co_await Ready(session, to, tcp::socket::wait_write)) co_return End::kBroken;
            } else if (out < 0 && errno == EINTR) {
                continue;
            } else {
                co_return End::kEnded;  // `to` is gone; the other direction ends the session
            }
        }
    }
}

// One direction: from `from` to `to` until `from` ends, then ends `to`'s sending side so the
// peer sees the end too. A broken direction ends the whole session.
asio::awaitable<void> Pump(ClientSession& session, tcp::socket& from, tcp::socket& to,
                           ReadBuffer& buffer) {
    // A paced tunnel moves little at a time anyway: it stays in the copy loop.
    End end = co_await Copy(session, from, to, buffer, session.Paced());
    if (end == End::kBulk) {
        SplicePipe pipe;
        end = pipe.Usable() ? co_await Splice(session, from, to, pipe) : End::kSpliceRefused;
        if (end == End::kSpliceRefused) end = co_await Copy(session, from, to, buffer, true);
    }
    asio::error_code ignored;
    if (end == End::kBroken) {
        session.Close();
    } else if (!session.Closed()) {
        to.shutdown(tcp::socket::shutdown_send, ignored);
    }
}

}  // namespace

asio::awaitable<void> RelayTunnel(ClientSession& session, ReadBuffer& clientBytes) {
    using namespace asio::experimental::awaitable_operators;
    ReadBuffer upstreamBytes;
    session.SetDeadline(session.server.Settings().idleTimeoutSec);
    // The relay reads and splices without blocking (both sockets are made so at their start).
    asio::error_code error;
    for (tcp::socket* socket : {&session.client, &session.upstream}) {
        if (!error && !socket->non_blocking()) socket->non_blocking(true, error);
    }
    if (error) {
        session.Close();
        co_return;
    }
    co_await (Pump(session, session.client, session.upstream, clientBytes) &&
              Pump(session, session.upstream, session.client, upstreamBytes));
    // Both ends have ended their sending and were told of the other's end: nothing is left
    // to read or to wait for.
    session.Close();
}
