#pragma once

#include <ace/SOCK_Connector.h>
#include <ace/SOCK_Stream.h>
#include <ace/Singleton.h>
#include <ace/Thread_Mutex.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "Common/ControlChannel.h"

// The client of the server's control channel (its contract: Common/ControlChannel.h): one
// persistent connection to 127.0.0.1:8090, one-line requests, replies framed by a decimal
// length line. Every command first asks whether the server runs (the check the console hands
// over at start-up: the proxy service's state) and sends nothing unless it does. A failed
// exchange is followed by one close, reconnect and retry; when the retry fails too, that
// connection is closed as well. Failures are reported only by a false result. One deadline
// bounds a whole reply, however it trickles in; bytes waiting before a request is sent (a late
// or unasked reply) are discarded, so they are never read as its answer. The commands block:
// they run on the link worker, never on the window thread.
class MQClient {
public:
    static constexpr uint16_t kDefaultPort = control::kDefaultPort;
    static constexpr std::chrono::milliseconds kConnectTimeLimit{1000};
    static constexpr std::chrono::milliseconds kSendTimeLimit{1000};
    static constexpr std::chrono::milliseconds kReceiveTimeLimit{5000};
    static constexpr size_t kReceiveChunk = 256;
    static constexpr int kReceiveCallLimit = 100001;
    // How often a waiting receive looks at Interrupt.
    static constexpr std::chrono::milliseconds kInterruptCheck{50};
    // More unasked bytes than this before a request: the connection is started afresh.
    static constexpr size_t kDiscardLimit = 1024 * 1024;

    MQClient();
    ~MQClient();
    MQClient(const MQClient&) = delete;
    MQClient& operator=(const MQClient&) = delete;

    // Sends the command's request (Common/ControlChannel.h) and, on true, leaves the reply
    // body in `reply`; the named ones below are its shorthands.
    bool Ask(control::Command command, std::string& reply);
    // The same for a command that takes an argument ("disconnect user alice"); an argument
    // that would end or cut the request line (control::ArgumentIsSendable) is not sent: false.
    bool Ask(control::Command command, std::string_view argument, std::string& reply);
    bool System(std::string& reply) { return Ask(control::Command::kSystem, reply); }
    bool Statistic(std::string& reply) { return Ask(control::Command::kStatistic, reply); }
    bool Engine(std::string& reply) { return Ask(control::Command::kEngine, reply); }
    bool ApplyConf(std::string& reply) { return Ask(control::Command::kApplyConf, reply); }
    bool FlowRealtime(std::string& reply) { return Ask(control::Command::kFlowRealtime, reply); }
    bool FlowIp(std::string& reply) { return Ask(control::Command::kFlowIp, reply); }
    bool FlowUser(std::string& reply) { return Ask(control::Command::kFlowUser, reply); }
    bool Bandwidth(std::string& reply) { return Ask(control::Command::kBandwidth, reply); }
    bool Connections(std::string& reply) { return Ask(control::Command::kConnections, reply); }
    bool Disconnect(control::DisconnectBy by, std::string_view value, std::string& reply) {
        return !value.empty() &&
               Ask(control::Command::kDisconnect, control::DisconnectArgument(by, value), reply);
    }
    bool Traffic(std::string_view account, std::string& reply) {
        return Ask(control::Command::kTraffic, account, reply);
    }

    // From any thread: true makes the command in progress (and any later one) fail within
    // kInterruptCheck of a receive, so closing the window does not wait for a slow server;
    // false lets commands run again.
    void Interrupt(bool interrupted) { interrupted_ = interrupted; }

    // Whether the server runs, asked before every command; until one is set (or after an
    // empty one) nothing is sent.
    void SetRunningCheck(std::function<bool()> serverRunning);
    // Test seams; the defaults are port 8090 and 5 s for a whole reply.
    void SetPort(uint16_t port);
    void SetReceiveTimeLimit(std::chrono::milliseconds limit);

    bool isConnected() const { return connected; }

private:
    bool Execute(std::string_view request, std::string& reply);
    bool Connect();
    bool Exchange(std::string_view request, std::string& reply);
    bool DiscardUnasked();
    bool Receive(std::string& reply);
    void Close();

    ACE_Thread_Mutex lock;
    ACE_SOCK_Connector connector;
    ACE_SOCK_Stream stream;
    bool connected = false;
    std::atomic<bool> interrupted_{false};

    uint16_t port_ = kDefaultPort;
    std::function<bool()> serverRunning_;
    std::chrono::milliseconds receiveTimeLimit_ = kReceiveTimeLimit;
};

// The one client of the process, destroyed by ACE's object manager. The window thread and the
// link worker both reach it: its creation takes ACE's singleton lock, and TheLinkWorker() makes
// it before the worker's thread starts.
using MQClientSingleton = ACE_Singleton<MQClient, ACE_Thread_Mutex>;
