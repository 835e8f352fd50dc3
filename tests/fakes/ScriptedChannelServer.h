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

// A control-channel server for tests, on 127.0.0.1 and a port the test chooses (0: any free
// port; port() tells which, and restarts keep it). It runs on a thread of its own. Each
// request line it receives (the bytes up to "\r\n") is answered by the script for that line;
// the script can send any bytes in any pieces, pause between them and close the connection.
// Pauses delay only their own connection; the server keeps accepting and answering others.
// It records every byte received and counts the connections it accepted.
//
//     ScriptedChannelServer server;
//     server.SetFramedReply("statistic", R"({"err_code":0,"data":{...}})");
//     ASSERT_TRUE(server.Start());
//     client.SetPort(server.port());
class ScriptedChannelServer {
public:
    // One write; the server waits `delay` before it.
    struct Chunk {
        std::string bytes;
        std::chrono::milliseconds delay{0};
    };

    // The answer to one request.
    struct Reply {
        std::vector<Chunk> chunks;
        enum class Close { kNo, kGraceful, kReset } close = Close::kNo;  // after the chunks

        // The body with its length line, in one write, after `delay` (a slow server).
        static Reply Framed(std::string_view body,
                            std::chrono::milliseconds delay = std::chrono::milliseconds(0));
        // Raw bytes in one write.
        static Reply Raw(std::string bytes);
        // Raw bytes in several writes, `gap` apart.
        static Reply Pieces(std::vector<std::string> pieces, std::chrono::milliseconds gap);
        // No answer: the connection is closed (gracefully or by a reset).
        static Reply Hangup(Close how = Close::kGraceful);
        Reply ThenClose(Close how = Close::kGraceful) &&;
    };

    // "<decimal length>\r\n" followed by the body.
    static std::string Frame(std::string_view body);

    explicit ScriptedChannelServer(uint16_t port = 0);
    ~ScriptedChannelServer();
    ScriptedChannelServer(const ScriptedChannelServer&) = delete;
    ScriptedChannelServer& operator=(const ScriptedChannelServer&) = delete;

    // Listens and starts serving; false when the port cannot be bound.
    bool Start();
    // Closes the listener and every connection, then ends the thread. Recordings are kept.
    void Stop();
    // Stop, then Start on the same port.
    bool Restart();
    uint16_t port() const { return port_; }

    // Every request line equal to `command` (without "\r\n") gets `reply`.
    void SetReply(const std::string& command, Reply reply);
    void SetFramedReply(const std::string& command, std::string_view body);
    // One-shot replies for `command`, used in order before its standing reply.
    void QueueReply(const std::string& command, Reply reply);
    // For lines without a script; initially a graceful close.
    void SetDefaultReply(Reply reply);

    // Every byte received, in order, over all connections.
    std::string received() const;
    // The request lines received, without "\r\n".
    std::vector<std::string> requests() const;
    int acceptedConnections() const;
    // Waits until at least `count` request lines arrived; false after `limit`.
    bool WaitForRequests(size_t count, std::chrono::milliseconds limit) const;

private:
    using Clock = std::chrono::steady_clock;

    // One scheduled write (or, with `close` set, the end of the connection).
    struct Action {
        Clock::time_point due;
        std::string bytes;
        Reply::Close close = Reply::Close::kNo;
    };

    struct Connection {
        int fd = -1;
        std::string pending;        // received bytes not yet ending a line
        std::deque<Action> outbox;  // replies still to write, in order
        bool closing = false;       // a close is scheduled; later requests get no answer
    };

    void Serve();
    void Accept();
    // Reads what is waiting on `connection` and schedules the answers; false on end or error.
    bool ReadFrom(Connection& connection);
    void Schedule(Connection& connection, const Reply& reply);
    // Performs the actions that are due; false when the connection is to be closed.
    bool Flush(Connection& connection, Clock::time_point now);
    // Milliseconds until the next scheduled action (-1: none).
    int NextTimeout(Clock::time_point now) const;
    Reply ScriptFor(const std::string& line);
    static void CloseConnection(Connection& connection, Reply::Close how);

    uint16_t port_;
    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    std::vector<Connection> connections_;  // only the serving thread touches these

    mutable std::mutex mutex_;  // guards the script and the recordings
    mutable std::condition_variable changed_;
    std::map<std::string, Reply> standing_;
    std::map<std::string, std::deque<Reply>> queued_;
    Reply defaultReply_ = Reply::Hangup();
    std::string received_;
    std::vector<std::string> requests_;
    int accepted_ = 0;
};
