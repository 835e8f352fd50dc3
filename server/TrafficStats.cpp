#include "server/TrafficStats.h"

#include <algorithm>
#include <vector>

namespace {

void Bound(std::map<std::string, TrafficStats::Totals>& totals, size_t limit) {
    if (totals.size() <= limit) return;
    using Entry = std::map<std::string, TrafficStats::Totals>::iterator;
    std::vector<Entry> idle;
    for (auto it = totals.begin(); it != totals.end(); ++it) {
        if (it->second.flows == 0) idle.push_back(it);
    }
    const size_t excess = std::min(idle.size(), totals.size() - limit / 10 * 9);
    std::nth_element(idle.begin(), idle.begin() + excess, idle.end(),
                     [](Entry a, Entry b) { return a->second.lastActive < b->second.lastActive; });
    for (size_t i = 0; i < excess; ++i) totals.erase(idle[i]);
}

}  // namespace

TrafficStats::Flow* TrafficStats::Open(const std::string& ip, const std::string& user) {
    auto [it, added] = flows_.try_emplace(FlowKey{ip, user});
    Flow& flow = it->second;
    if (added) {
        flow.ip = ip;
        flow.user = user;
        flow.ipTotals = &byIp_[ip];
        flow.userTotals = user.empty() ? nullptr : &byUser_[user];
        ++flow.ipTotals->flows;
        if (flow.userTotals != nullptr) ++flow.userTotals->flows;
    }
    ++flow.connections;
    ++connections_;
    if (++flow.ipTotals->connections == 1) ++onlineDevices_;
    if (flow.userTotals != nullptr && ++flow.userTotals->connections == 1) ++onlineUsers_;
    flow.ipTotals->lastActive = now_;
    if (flow.userTotals != nullptr) flow.userTotals->lastActive = now_;
    return &flow;
}

void TrafficStats::Close(Flow* flow) {
    --flow->connections;
    --connections_;
    if (--flow->ipTotals->connections == 0) --onlineDevices_;
    if (flow->userTotals != nullptr && --flow->userTotals->connections == 0) --onlineUsers_;
}

void TrafficStats::Tick(int64_t nowUnix) {
    now_ = nowUnix;
    for (auto it = flows_.begin(); it != flows_.end();) {
        Flow& flow = it->second;
        flow.bytesLastSecond = flow.bytesThisSecond;
        flow.bytesThisSecond = 0;
        if (flow.connections <= 0) {
            --flow.ipTotals->flows;
            if (flow.userTotals != nullptr) --flow.userTotals->flows;
            it = flows_.erase(it);
        } else {
            ++it;
        }
    }
    Bound(byIp_, maxTotals_);
    Bound(byUser_, maxTotals_);
}
