#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A control-channel server for tests on 127.0.0.1 and a free port (kept across restarts). Each
// request line (the bytes up to "\r\n") is answered by its script: bytes in timed pieces, then
// perhaps a close. Each connection has its own thread, so a pause delays only that connection.
// Every byte received is recorded.
class ScriptedChannelServer {
public:
    struct Reply {
        enum class Close { kNo, kGraceful, kReset };
        std::vector<std::string> pieces;  // written one by one, each after `gap`
        std::chrono::milliseconds gap{0};
        Close close = Close::kNo;  // after the pieces

        // "<length>\r\n<body>" in one write, after `delay`.
        static Reply Framed(std::string_view body, std::chrono::milliseconds delay = {}) {
            return {{std::to_string(body.size()) + "\r\n" + std::string(body)}, delay};
        }
        static Reply Raw(std::string bytes, Close close = Close::kNo) {
            return {{std::move(bytes)}, {}, close};
        }
        static Reply Hangup(Close how = Close::kGraceful) { return {{}, {}, how}; }
    };

    ScriptedChannelServer() = default;
    ~ScriptedChannelServer() { Stop(); }
    ScriptedChannelServer(const ScriptedChannelServer&) = delete;
    ScriptedChannelServer& operator=(const ScriptedChannelServer&) = delete;

    bool Start();  // false when the port cannot be bound
    void Stop();   // closes the listener and every connection; recordings are kept
    bool Restart() {
        Stop();
        return Start();
    }
    uint16_t port() const { return port_; }

    // The standing reply to every line equal to `command`.
    void SetReply(const std::string& command, Reply reply);
    void SetFramedReply(const std::string& command, std::string_view body) {
        SetReply(command, Reply::Framed(body));
    }
    // One-shot replies for `command`, used in order before its standing reply.
    void QueueReply(const std::string& command, Reply reply);
    // For lines without a script; initially a graceful close.
    void SetDefaultReply(Reply reply);

    // Every byte received over all connections, and the request lines without "\r\n".
    std::string received() const { return Locked(received_); }
    std::vector<std::string> requests() const { return Locked(requests_); }
    int acceptedConnections() const { return Locked(accepted_); }

private:
    template <typename T>
    T Locked(const T& field) const {
        std::lock_guard<std::mutex> guard(mutex_);
        return field;
    }
    void AcceptLoop();
    void Serve(int fd, size_t slot);
    Reply ScriptFor(const std::string& line);
    bool Pause(std::chrono::milliseconds delay);  // false when the server stops meanwhile

    uint16_t port_ = 0;
    int listener_ = -1;
    std::thread acceptor_;
    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    std::vector<int> fds_;  // one per accepted connection; -1 once closed
    std::vector<std::thread> threads_;
    std::map<std::string, Reply> standing_;
    std::map<std::string, std::deque<Reply>> queued_;
    Reply default_ = Reply::Hangup();
    std::string received_;
    std::vector<std::string> requests_;
    int accepted_ = 0;
};
