#include "tests/fakes/ScriptedChannelServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

using Reply = ScriptedChannelServer::Reply;

Reply Reply::Framed(std::string_view body, std::chrono::milliseconds delay) {
    Reply reply = Raw(Frame(body));
    reply.chunks.front().delay = delay;
    return reply;
}

Reply Reply::Raw(std::string bytes) {
    Reply reply;
    reply.chunks.push_back({std::move(bytes), std::chrono::milliseconds(0)});
    return reply;
}

Reply Reply::Pieces(std::vector<std::string> pieces, std::chrono::milliseconds gap) {
    Reply reply;
    for (auto& piece : pieces) {
        const auto delay = reply.chunks.empty() ? std::chrono::milliseconds(0) : gap;
        reply.chunks.push_back({std::move(piece), delay});
    }
    return reply;
}

Reply Reply::Hangup(Close how) {
    Reply reply;
    reply.close = how;
    return reply;
}

Reply Reply::ThenClose(Close how) && {
    close = how;
    return std::move(*this);
}

std::string ScriptedChannelServer::Frame(std::string_view body) {
    return std::to_string(body.size()) + "\r\n" + std::string(body);
}

ScriptedChannelServer::ScriptedChannelServer(uint16_t port) : port_(port) {}

ScriptedChannelServer::~ScriptedChannelServer() {
    Stop();
}

bool ScriptedChannelServer::Start() {
    if (thread_.joinable()) return true;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return false;
    const int on = 1;
    // A restart must be able to take the port back while old connections linger.
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    socklen_t length = sizeof address;
    int pipeFds[2];
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void ScriptedChannelServer::Stop() {
    if (!thread_.joinable()) return;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);
    thread_.join();
    for (Connection& connection : connections_)
        CloseConnection(connection, Reply::Close::kGraceful);
    connections_.clear();
    for (int* fd : {&listener_, &wakeRead_, &wakeWrite_}) {
        ::close(*fd);
        *fd = -1;
    }
}

bool ScriptedChannelServer::Restart() {
    Stop();
    return Start();
}

void ScriptedChannelServer::SetReply(const std::string& command, Reply reply) {
    std::lock_guard<std::mutex> guard(mutex_);
    standing_[command] = std::move(reply);
}

void ScriptedChannelServer::SetFramedReply(const std::string& command, std::string_view body) {
    SetReply(command, Reply::Framed(body));
}

void ScriptedChannelServer::QueueReply(const std::string& command, Reply reply) {
    std::lock_guard<std::mutex> guard(mutex_);
    queued_[command].push_back(std::move(reply));
}

void ScriptedChannelServer::SetDefaultReply(Reply reply) {
    std::lock_guard<std::mutex> guard(mutex_);
    defaultReply_ = std::move(reply);
}

std::string ScriptedChannelServer::received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return received_;
}

std::vector<std::string> ScriptedChannelServer::requests() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_;
}

int ScriptedChannelServer::acceptedConnections() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return accepted_;
}

bool ScriptedChannelServer::WaitForRequests(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void ScriptedChannelServer::Serve() {
    for (;;) {
        std::vector<pollfd> fds{{wakeRead_, POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Connection& connection : connections_) fds.push_back({connection.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), NextTimeout(Clock::now())) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) return;  // Stop
        // Connections accepted below are not in `fds`; they are polled next round.
        for (size_t i = 2; i < fds.size(); ++i) {
            Connection& connection = connections_[i - 2];
            if (fds[i].revents != 0 && !ReadFrom(connection)) {
                CloseConnection(connection, Reply::Close::kGraceful);
                continue;
            }
            if (!Flush(connection, Clock::now())) {
                CloseConnection(connection, connection.outbox.front().close);
            }
        }
        std::erase_if(connections_, [](const Connection& c) { return c.fd < 0; });
        if (fds[1].revents & POLLIN) Accept();
    }
}

void ScriptedChannelServer::Accept() {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    connections_.push_back(Connection{fd, {}, {}, false});
    std::lock_guard<std::mutex> guard(mutex_);
    ++accepted_;
    changed_.notify_all();
}

bool ScriptedChannelServer::ReadFrom(Connection& connection) {
    char buffer[4096];
    const ssize_t count = ::recv(connection.fd, buffer, sizeof buffer, 0);
    if (count <= 0) return false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        received_.append(buffer, static_cast<size_t>(count));
    }
    connection.pending.append(buffer, static_cast<size_t>(count));
    size_t end;
    while ((end = connection.pending.find("\r\n")) != std::string::npos) {
        const std::string line = connection.pending.substr(0, end);
        connection.pending.erase(0, end + 2);
        const Reply reply = ScriptFor(line);
        if (!connection.closing) Schedule(connection, reply);
    }
    return true;
}

void ScriptedChannelServer::Schedule(Connection& connection, const Reply& reply) {
    // Pauses run from the end of what is already scheduled, so pieces keep their order.
    Clock::time_point at = Clock::now();
    if (!connection.outbox.empty()) at = std::max(at, connection.outbox.back().due);
    for (const Chunk& chunk : reply.chunks) {
        at += chunk.delay;
        connection.outbox.push_back({at, chunk.bytes, Reply::Close::kNo});
    }
    if (reply.close != Reply::Close::kNo) {
        connection.outbox.push_back({at, {}, reply.close});
        connection.closing = true;
    }
}

bool ScriptedChannelServer::Flush(Connection& connection, Clock::time_point now) {
    while (!connection.outbox.empty() && connection.outbox.front().due <= now) {
        Action& action = connection.outbox.front();
        if (action.close != Reply::Close::kNo) return false;
        if (::send(connection.fd, action.bytes.data(), action.bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(action.bytes.size())) {
            action.close = Reply::Close::kGraceful;
            return false;
        }
        connection.outbox.pop_front();
    }
    return true;
}

int ScriptedChannelServer::NextTimeout(Clock::time_point now) const {
    int timeout = -1;
    for (const Connection& connection : connections_) {
        if (connection.outbox.empty()) continue;
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(connection.outbox.front().due - now);
        const int ms = static_cast<int>(std::max<int64_t>(0, wait.count()));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    return timeout;
}

Reply ScriptedChannelServer::ScriptFor(const std::string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.push_back(line);
    changed_.notify_all();
    if (auto queue = queued_.find(line); queue != queued_.end() && !queue->second.empty()) {
        Reply reply = std::move(queue->second.front());
        queue->second.pop_front();
        return reply;
    }
    if (auto standing = standing_.find(line); standing != standing_.end()) return standing->second;
    return defaultReply_;
}

void ScriptedChannelServer::CloseConnection(Connection& connection, Reply::Close how) {
    if (connection.fd < 0) return;
    if (how == Reply::Close::kReset) {
        // A zero linger time makes close send a reset instead of an orderly end.
        const linger abort{1, 0};
        ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(connection.fd);
    connection.fd = -1;
}
