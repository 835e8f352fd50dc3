#include "server/ClientAdmission.h"

#include <glog/logging.h>
#include <sys/resource.h>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "server/AlarmLimiter.h"
#include "server/ClientSource.h"
#include "server/metrics/ServerMetrics.h"

namespace {

// Descriptors kept for everything but clients: listeners, the event loop, main.db and its
// lock, logs, control connections, a destination being connected.
constexpr rlim_t kReservedDescriptors = 64;

// Clients beyond this would find accept() failing for want of descriptors; the cap turns
// them away at once instead (a tunnel needs a second descriptor for its destination, and
// fails cleanly when there is none).
int DescriptorCap() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::numeric_limits<int>::max();
    }
    const rlim_t cap = limit.rlim_cur > 2 * kReservedDescriptors
                           ? limit.rlim_cur - kReservedDescriptors
                           : limit.rlim_cur / 2;
    return static_cast<int>(std::min<rlim_t>(cap, std::numeric_limits<int>::max()));
}

}  // namespace

bool InNetworks(const ClientNetworks& networks, const asio::ip::address& address) {
    return address.is_v4() ? networks.Allows(address.to_v4().to_uint())
                           : networks.Allows(address.to_v6().to_bytes());
}

ClientAdmission::Place::Place(Place&& other) noexcept
    : counts_(std::exchange(other.counts_, nullptr)), source_(other.source_) {}

ClientAdmission::Place::~Place() {
    if (!counts_) return;
    if (auto it = counts_->find(source_); it != counts_->end() && --it->second <= 0) {
        counts_->erase(it);
    }
}

ClientAdmission::ClientAdmission(const ServerSettings& settings, AlarmLimiter& alarms)
    : settings_(settings), alarms_(alarms), descriptorCap_(DescriptorCap()) {
    if (settings_.maxConnections > descriptorCap_) {
        LOG(WARNING) << "max_connections " << settings_.maxConnections << " exceeds what the "
                     << "descriptor limit allows; at most " << descriptorCap_ << " clients";
    }
}

int ClientAdmission::MaxConnections() const {
    return std::min(settings_.maxConnections, descriptorCap_);
}

int ClientAdmission::MaxConnectionsPerAddress() const {
    const int share = settings_.maxConnectionsPerIp > 0 ? settings_.maxConnectionsPerIp
                                                        : settings_.maxConnections / 4;
    return std::clamp(share, 1, MaxConnections());
}

std::optional<ClientAdmission::Place> ClientAdmission::Admit(const asio::ip::address& from,
                                                             size_t connected) {
    if (!InNetworks(settings_.allowedClients, from)) {
        RefuseOutsider(from);
        return std::nullopt;
    }
    if (static_cast<int64_t>(connected) >= MaxConnections()) {
        metrics::CountRefusal(metrics::Refusal::kLimit);
        alarms_.RaiseTurnedAway("connection limit of " + std::to_string(MaxConnections()) +
                                " reached; new clients are turned away");
        return std::nullopt;
    }
    // Counted by source, as the login throttle counts: the addresses of one IPv6 /64 together.
    const auto source = SourceOf(from);
    const auto held = connectionsPerAddress_.find(source);
    if (held != connectionsPerAddress_.end() && held->second >= MaxConnectionsPerAddress()) {
        metrics::CountRefusal(metrics::Refusal::kShare);
        alarms_.RaiseTurnedAway("client " + from.to_string() + " holds its share of " +
                                std::to_string(MaxConnectionsPerAddress()) +
                                " connections; more are turned away");
        return std::nullopt;
    }
    ++connectionsPerAddress_[source];
    return Place(connectionsPerAddress_, source);
}

// Counted, and named in an alarm at most once a minute (a scan would fill the table); the
// once-a-second sweep reports those counted meanwhile when their minute is over.
void ClientAdmission::RefuseOutsider(const asio::ip::address& from) {
    metrics::CountRefusal(metrics::Refusal::kNetwork);
    ++outsidersSinceAlarm_;
    lastOutsider_ = from;
    ReportOutsiders();
}

void ClientAdmission::ReportOutsiders() {
    const auto now = std::chrono::steady_clock::now();
    if (outsidersSinceAlarm_ == 0 || (lastOutsiderAlarm_.time_since_epoch().count() != 0 &&
                                      now - lastOutsiderAlarm_ < std::chrono::minutes(1))) {
        return;
    }
    lastOutsiderAlarm_ = now;
    std::string message = "client " + lastOutsider_.to_string() +
                          " is outside the allowed networks; its connection was closed";
    if (outsidersSinceAlarm_ > 1) {
        message += " (" + std::to_string(outsidersSinceAlarm_) +
                   " connections from outside closed since the last such alarm)";
    }
    outsidersSinceAlarm_ = 0;
    alarms_.Raise("network", message);
}
