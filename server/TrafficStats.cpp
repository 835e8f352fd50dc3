#include "server/TrafficStats.h"

TrafficStats::Flow* TrafficStats::Open(const std::string& ip, const std::string& user) {
    const auto [it, added] = flowSlots_.try_emplace(FlowKey{ip, user}, flows_.size());
    if (added && !freeFlowSlots_.empty()) {
        it->second = freeFlowSlots_.back();
        freeFlowSlots_.pop_back();
    } else if (added) {
        flows_.emplace_back();
    }
    Flow& flow = flows_[it->second];
    if (added) {
        flow.key = &it->first;
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
    for (size_t slot = 0; slot < flows_.size(); ++slot) {
        Flow& flow = flows_[slot];
        if (flow.key == nullptr) continue;
        flow.bytesLastSecond = flow.bytesThisSecond;
        flow.bytesThisSecond = 0;
        if (flow.connections <= 0) {
            --flow.ipTotals->flows;
            if (flow.userTotals != nullptr) --flow.userTotals->flows;
            flowSlots_.erase(*flow.key);
            flow = Flow{};
            freeFlowSlots_.push_back(slot);
        }
    }
    byIp_.Bound(maxTotals_);
    byUser_.Bound(maxTotals_);
}

std::shared_ptr<const TrafficStats::LiveFlowsSnapshot> TrafficStats::LiveFlows() const {
    auto snapshot = std::make_shared<LiveFlowsSnapshot>();
    snapshot->ipNames = byIp_.Names();
    snapshot->userNames = byUser_.Names();
    snapshot->rows.reserve(flowSlots_.size());
    for (const Flow& flow : flows_) {
        if (flow.connections <= 0) continue;  // a free place, or ended and not swept yet
        const size_t userSlot =
            flow.userTotals == nullptr ? LiveFlowsSnapshot::kAnonymous : flow.userSlot;
        snapshot->rows.push_back(
            {flow.ipSlot, userSlot, flow.connections, flow.bytes, flow.bytesLastSecond});
    }
    return snapshot;
}
