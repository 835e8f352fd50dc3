#include "server_link/MQClient.h"

#include <ace/Flag_Manip.h>
#include <ace/Guard_T.h>
#include <ace/INET_Addr.h>
#include <ace/Time_Value.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "server_link/ReplyFramer.h"

namespace {

ACE_Time_Value ToTimeValue(std::chrono::milliseconds limit) {
    ACE_Time_Value value;
    value.msec(static_cast<long>(limit.count()));
    return value;
}

}  // namespace

MQClient::MQClient() = default;

MQClient::~MQClient() {
    Close();
}

bool MQClient::Ask(control::Command command, std::string& reply) {
    return Execute(control::RequestLine(command), reply);
}

bool MQClient::Ask(control::Command command, std::string_view argument, std::string& reply) {
    if (argument.empty() || !control::ArgumentIsSendable(argument)) return false;
    return Execute(control::RequestLine(command, argument), reply);
}

void MQClient::SetPort(uint16_t port) {
    ACE_Guard<ACE_Thread_Mutex> guard(lock);
    port_ = port;
}

void MQClient::SetRunningCheck(std::function<bool()> serverRunning) {
    ACE_Guard<ACE_Thread_Mutex> guard(lock);
    serverRunning_ = std::move(serverRunning);
}

void MQClient::SetReceiveTimeLimit(std::chrono::milliseconds limit) {
    ACE_Guard<ACE_Thread_Mutex> guard(lock);
    receiveTimeLimit_ = limit;
}

bool MQClient::Execute(std::string_view request, std::string& reply) {
    ACE_Guard<ACE_Thread_Mutex> guard(lock);
    if (!guard.locked()) return false;

    // Asked once per command; a stopped server leaves the connection as it is.
    if (interrupted_ || !serverRunning_ || !serverRunning_()) return false;

    if (!connected && !Connect()) return false;
    if (Exchange(request, reply)) return true;

    // The connection may be stale (e.g. the server restarted): one fresh try.
    Close();
    if (interrupted_ || !Connect()) return false;
    if (Exchange(request, reply)) return true;
    // A reply still on its way would otherwise be read as the next command's.
    Close();
    return false;
}

bool MQClient::Connect() {
    const ACE_INET_Addr address(port_, "127.0.0.1");
    const ACE_Time_Value limit = ToTimeValue(kConnectTimeLimit);
    if (connector.connect(stream, address, &limit) == -1) return false;
    // Every send and receive is bounded by a time limit anyway; a non-blocking handle saves
    // ACE from switching the mode back and forth around each 256-byte receive.
    stream.enable(ACE_NONBLOCK);
    connected = true;
    return true;
}

bool MQClient::Exchange(std::string_view request, std::string& reply) {
    reply.clear();
    if (!DiscardUnasked()) return false;

    // MSG_NOSIGNAL: writing to a connection the server has reset must not end the process.
    const ACE_Time_Value sendLimit = ToTimeValue(kSendTimeLimit);
    size_t sent = 0;
    if (stream.send_n(request.data(), request.size(), MSG_NOSIGNAL, &sendLimit, &sent) !=
            static_cast<ssize_t>(request.size()) ||
        sent != request.size()) {
        return false;
    }
    return Receive(reply);
}

bool MQClient::DiscardUnasked() {
    char chunk[kReceiveChunk];
    for (size_t dropped = 0; dropped <= kDiscardLimit;) {
        const ssize_t received = ::recv(stream.get_handle(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (received > 0) {
            dropped += static_cast<size_t>(received);
            continue;
        }
        // Nothing waiting is the usual case; the end of the stream means a fresh connection.
        return received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return false;  // a flood of unasked bytes: start afresh
}

bool MQClient::Receive(std::string& reply) {
    using Clock = std::chrono::steady_clock;
    ReplyFramer framer(reply);
    // One deadline for the whole reply: a server trickling a byte at a time cannot stretch it.
    const Clock::time_point deadline = Clock::now() + receiveTimeLimit_;
    char chunk[kReceiveChunk];
    for (int calls = 0; calls < kReceiveCallLimit;) {
        if (interrupted_) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        const ACE_Time_Value slice = ToTimeValue(std::min(left, kInterruptCheck));
        const ssize_t received = stream.recv(chunk, sizeof chunk, &slice);
        if (received < 0 && errno == ETIME) continue;  // a slice ended; look at the clock again
        // An error and the end of the stream end the exchange.
        if (received <= 0) return false;
        ++calls;
        switch (framer.Feed(std::string_view(chunk, static_cast<size_t>(received)))) {
            case ReplyFramer::Status::kComplete:
                return true;
            case ReplyFramer::Status::kFailed:
                return false;
            case ReplyFramer::Status::kNeedMore:
                break;
        }
    }
    return false;  // the call limit: an incomplete reply is no reply
}

void MQClient::Close() {
    if (connected) stream.close();
    connected = false;
}
