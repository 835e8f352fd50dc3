#include "tests/fakes/ScriptedChannelServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Reply = ScriptedChannelServer::Reply;
using Guard = std::lock_guard<std::mutex>;

bool ScriptedChannelServer::Start() {
    if (acceptor_.joinable()) return true;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;  // a restart takes the port back while old connections linger
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    socklen_t length = sizeof address;
    if (::bind(listener_, raw, length) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, raw, &length) != 0) {
        ::close(listener_);
        return false;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void ScriptedChannelServer::Stop() {
    if (!acceptor_.joinable()) return;
    {
        Guard guard(mutex_);
        stopping_ = true;
        for (int fd : fds_)
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);  // ends the blocked receives
    }
    stopSignal_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);  // ends the blocked accept
    acceptor_.join();
    for (std::thread& thread : threads_) thread.join();
    ::close(listener_);
    Guard guard(mutex_);
    threads_.clear();
    fds_.clear();
    stopping_ = false;
}

void ScriptedChannelServer::SetReply(const std::string& command, Reply reply) {
    Guard guard(mutex_);
    standing_[command] = std::move(reply);
}

void ScriptedChannelServer::QueueReply(const std::string& command, Reply reply) {
    Guard guard(mutex_);
    queued_[command].push_back(std::move(reply));
}

void ScriptedChannelServer::SetDefaultReply(Reply reply) {
    Guard guard(mutex_);
    default_ = std::move(reply);
}

void ScriptedChannelServer::AcceptLoop() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        Guard guard(mutex_);
        if (stopping_) {
            if (fd >= 0) ::close(fd);
            return;
        }
        if (fd < 0) continue;
        ++accepted_;
        fds_.push_back(fd);
        threads_.emplace_back([this, fd, slot = fds_.size() - 1] { Serve(fd, slot); });
    }
}

void ScriptedChannelServer::Serve(int fd, size_t slot) {
    std::string pending;  // received bytes not yet ending a line
    Reply::Close close = Reply::Close::kNo;
    char buffer[4096];
    ssize_t count;
    while (close == Reply::Close::kNo && (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        {
            Guard guard(mutex_);
            received_.append(buffer, static_cast<size_t>(count));
        }
        pending.append(buffer, static_cast<size_t>(count));
        for (size_t end;
             close == Reply::Close::kNo && (end = pending.find("\r\n")) != pending.npos;) {
            const Reply reply = ScriptFor(pending.substr(0, end));
            pending.erase(0, end + 2);
            bool sent = true;
            for (const std::string& piece : reply.pieces) {
                sent = sent && Pause(reply.gap) &&
                       ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(piece.size());
            }
            close = sent ? reply.close : Reply::Close::kGraceful;
        }
    }
    Guard guard(mutex_);
    if (close == Reply::Close::kReset) {
        const linger abort{1, 0};  // a zero linger time makes close send a reset
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(fd);
    fds_[slot] = -1;
}

Reply ScriptedChannelServer::ScriptFor(const std::string& line) {
    Guard guard(mutex_);
    requests_.push_back(line);
    if (auto queue = queued_.find(line); queue != queued_.end() && !queue->second.empty()) {
        Reply reply = std::move(queue->second.front());
        queue->second.pop_front();
        return reply;
    }
    const auto standing = standing_.find(line);
    return standing != standing_.end() ? standing->second : default_;
}

bool ScriptedChannelServer::Pause(std::chrono::milliseconds delay) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopSignal_.wait_for(lock, delay, [this] { return stopping_; });
}
