#include "server/NameResolver.h"

#include <arpa/inet.h>
#include <glog/logging.h>

#include <array>
#include <asio/experimental/as_tuple.hpp>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "server/metrics/ServerMetrics.h"

namespace {

// c-ares asks each server for 2 s, then 4 s, then 8 s: a silent server costs a look-up 14 s
// at most (its defaults, 5 s and four tries doubling, would take 75 s), well past the time a
// session allows for resolving and connecting, while a lost datagram is still asked again.
constexpr int kTryMilliseconds = 2000;
constexpr int kTries = 3;

}  // namespace

// A c-ares socket as the loop watches it; c-ares owns (and closes) the descriptor.
struct NameResolver::Watch {
    explicit Watch(asio::io_context& io) : descriptor(io) {}
    asio::posix::stream_descriptor descriptor;
    bool read = false;  // what c-ares wants to hear of
    bool write = false;
    bool readArmed = false;  // a wait is pending
    bool writeArmed = false;
};

NameResolver::NameResolver(asio::execution_context& context)
    : asio::execution_context::service(context),
      io_(static_cast<asio::io_context&>(context)),
      timer_(io_) {
    ares_library_init(ARES_LIB_INIT_ALL);
    ares_options options{};
    options.sock_state_cb = &NameResolver::OnSocketState;
    options.sock_state_cb_data = this;
    options.timeout = kTryMilliseconds;
    options.tries = kTries;
    const int status = ares_init_options(
        &channel_, &options, ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES);
    if (status != ARES_SUCCESS) {
        LOG(ERROR) << "name resolver: " << ares_strerror(status);
        channel_ = nullptr;
        return;
    }
    if (const char* servers = std::getenv("TORVO_DNS_SERVER")) {
        if (ares_set_servers_ports_csv(channel_, servers) != ARES_SUCCESS) {
            LOG(ERROR) << "name resolver: TORVO_DNS_SERVER \"" << servers << "\" not understood";
        }
    }
}

NameResolver::~NameResolver() {
    shutdown();
    ares_library_cleanup();
}

void NameResolver::shutdown() {
    if (channel_ != nullptr) {
        ares_destroy(channel_);  // answers every query, closes every socket
        channel_ = nullptr;
    }
    for (auto& [fd, watch] : watches_) watch->descriptor.release();
    watches_.clear();
    timer_.cancel();
}

std::shared_ptr<NameResolver::Query> NameResolver::Start(const std::string& host, uint16_t port,
                                                         const std::string& client) {
    if (channel_ == nullptr) return nullptr;
    const auto share = inFlight_.find(client);
    if (share != inFlight_.end() && share->second >= kLookupsPerClient) return nullptr;
    ++inFlight_[client];
    auto query = std::make_shared<Query>();
    query->owner = this;
    query->client = client;
    query->port = port;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ares_getaddrinfo(channel_, host.c_str(), nullptr, &hints, &NameResolver::OnAnswer,
                     new std::shared_ptr<Query>(query));
    ArmTimer();
    return query;
}

void NameResolver::CancelAll() {
    if (channel_ == nullptr) return;
    ares_cancel(channel_);
    ArmTimer();
}

void NameResolver::OnAnswer(void* arg, int status, int /*timeouts*/, ares_addrinfo* result) {
    const std::unique_ptr<std::shared_ptr<Query>> holder(static_cast<std::shared_ptr<Query>*>(arg));
    Query& query = **holder;
    for (auto* node = result != nullptr ? result->nodes : nullptr; node != nullptr;
         node = node->ai_next) {
        if (node->ai_family == AF_INET) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(node->ai_addr);
            query.endpoints.emplace_back(asio::ip::address_v4(ntohl(address->sin_addr.s_addr)),
                                         query.port);
        } else if (node->ai_family == AF_INET6) {
            const auto* address = reinterpret_cast<const sockaddr_in6*>(node->ai_addr);
            asio::ip::address_v6::bytes_type bytes;
            std::memcpy(bytes.data(), &address->sin6_addr, bytes.size());
            query.endpoints.emplace_back(asio::ip::address_v6(bytes, address->sin6_scope_id),
                                         query.port);
        }
    }
    if (status != ARES_SUCCESS) query.endpoints.clear();
    if (result != nullptr) ares_freeaddrinfo(result);
    query.done = true;
    auto& inFlight = query.owner->inFlight_;
    if (const auto share = inFlight.find(query.client);
        share != inFlight.end() && --share->second <= 0) {
        inFlight.erase(share);
    }
    if (query.waiter != nullptr) query.waiter->cancel();
}

void NameResolver::OnSocketState(void* data, ares_socket_t fd, int readable, int writable) {
    auto& self = *static_cast<NameResolver*>(data);
    auto found = self.watches_.find(fd);
    if (readable == 0 && writable == 0) {  // c-ares is about to close it
        if (found != self.watches_.end()) {
            found->second->read = found->second->write = false;
            found->second->descriptor.release();
            self.watches_.erase(found);
        }
        return;
    }
    if (found == self.watches_.end()) {
        auto watch = std::make_shared<Watch>(self.io_);
        asio::error_code error;
        watch->descriptor.assign(fd, error);
        if (error) {
            LOG(ERROR) << "name resolver: cannot watch a socket: " << error.message();
            return;  // its queries end by their time-outs
        }
        found = self.watches_.emplace(fd, std::move(watch)).first;
    }
    const std::shared_ptr<Watch> watch = found->second;
    watch->read = readable != 0;
    watch->write = writable != 0;
    if (watch->read) self.Arm(watch, false);
    if (watch->write) self.Arm(watch, true);
}

void NameResolver::Arm(const std::shared_ptr<Watch>& watch, bool write) {
    bool& armed = write ? watch->writeArmed : watch->readArmed;
    if (armed) return;
    armed = true;
    using Wait = asio::posix::descriptor_base::wait_type;
    watch->descriptor.async_wait(
        write ? Wait::wait_write : Wait::wait_read,
        [this, watch, write](const asio::error_code& error) {
            (write ? watch->writeArmed : watch->readArmed) = false;
            if (error || !watch->descriptor.is_open()) return;  // released: c-ares closed it
            const ares_socket_t fd = watch->descriptor.native_handle();
            Process(write ? ARES_SOCKET_BAD : fd, write ? fd : ARES_SOCKET_BAD);
            if (watch->descriptor.is_open() && (write ? watch->write : watch->read)) {
                Arm(watch, write);
            }
        });
}

void NameResolver::Process(ares_socket_t readable, ares_socket_t writable) {
    if (channel_ == nullptr) return;
    ares_process_fd(channel_, readable, writable);
    ArmTimer();
}

void NameResolver::ArmTimer() {
    timeval room{};
    const timeval* next = channel_ != nullptr ? ares_timeout(channel_, nullptr, &room) : nullptr;
    if (next == nullptr) {  // nothing waits on a time-out
        timer_.cancel();
        return;
    }
    timer_.expires_after(std::chrono::seconds(next->tv_sec) +
                         std::chrono::microseconds(next->tv_usec));
    timer_.async_wait([this](const asio::error_code& error) {
        if (!error) Process(ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    });
}

NameLookup::NameLookup(const asio::any_io_executor& executor)
    : resolver_(asio::use_service<NameResolver>(asio::query(executor, asio::execution::context))),
      wake_(executor) {}

NameLookup::~NameLookup() {
    Cancel();
}

void NameLookup::Cancel() {
    if (query_ != nullptr) {
        query_->waiter = nullptr;
        query_.reset();
    }
    wake_.cancel();
}

asio::awaitable<std::vector<asio::ip::tcp::endpoint>> NameLookup::Resolve(std::string host,
                                                                          uint16_t port,
                                                                          std::string client) {
    Cancel();
    const auto query = resolver_.Start(host, port, client);
    if (query == nullptr) co_return std::vector<asio::ip::tcp::endpoint>{};
    const metrics::TimedLookup timed;
    query_ = query;
    if (!query->done) {
        query->waiter = &wake_;
        wake_.expires_at(asio::steady_timer::time_point::max());
        co_await wake_.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
    }
    if (query_ != query || !query->done) co_return std::vector<asio::ip::tcp::endpoint>{};
    query->waiter = nullptr;
    query_.reset();
    co_return std::move(query->endpoints);
}
