#include "server/TrafficStats.h"

TrafficStats::Flow* TrafficStats::Open(const std::string& ip, const std::string& user) {
    auto [it, added] = flows_.try_emplace(FlowKey{ip, user});
    Flow& flow = it->second;
    if (added) {
        flow.ip = ip;
        flow.user = user;
        flow.ipTotals = &byIp_[ip];
        flow.ipSlot = byIp_.Slot(ip);
        flow.userTotals = user.empty() ? nullptr : &byUser_[user];
        if (!user.empty()) flow.userSlot = byUser_.Slot(user);
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
    byIp_.Bound(maxTotals_);
    byUser_.Bound(maxTotals_);
}

std::shared_ptr<const TrafficStats::LiveFlowsSnapshot> TrafficStats::LiveFlows() const {
    auto snapshot = std::make_shared<LiveFlowsSnapshot>();
    snapshot->ipNames = byIp_.Names();
    snapshot->userNames = byUser_.Names();
    snapshot->rows.reserve(flows_.size());
    for (const auto& [key, flow] : flows_) {
        if (flow.connections <= 0) continue;  // ended, not swept yet
        const size_t userSlot =
            flow.userTotals == nullptr ? LiveFlowsSnapshot::kAnonymous : flow.userSlot;
        snapshot->rows.push_back(
            {flow.ipSlot, userSlot, flow.connections, flow.bytes, flow.bytesLastSecond});
    }
    return snapshot;
}
