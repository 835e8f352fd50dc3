#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Common/ByteCount.h"
#include "server/TotalsTable.h"

// Traffic figures of the running server, kept on the event loop's thread only: one flow per
// client address and user with live connections, totals per address and per user since the
// start, and each flow's byte rate of the last whole second. Adding bytes is a few additions on
// pointers the flow holds; nothing is looked up per transfer. The flows sit in one block, so that
// a reply's copy of ten thousand of them is one sweep, not a walk through scattered tree nodes.
class TrafficStats {
public:
    using Totals = TrafficTotals;
    // Totals kept per address (and per user): beyond it, at the next Tick, those of the
    // addresses longest inactive and without a live connection go, down to 90 % of it. A
    // client that walks through many addresses cannot grow the server or the replies.
    static constexpr size_t kMaxTotals = 100000;
    using FlowKey = std::pair<std::string, std::string>;  // address, user (empty: anonymous)
    struct Flow {
        const FlowKey* key = nullptr;  // null while its place is free
        int connections = 0;
        uint64_t bytes = 0;
        uint64_t bytesThisSecond = 0;
        uint64_t bytesLastSecond = 0;
        Totals* ipTotals = nullptr;
        Totals* userTotals = nullptr;  // null for anonymous clients
        size_t ipSlot = 0;             // of ip in ByIp()
        size_t userSlot = 0;           // of user in ByUser(), for named users
    };
    // The flows with live connections as they were, for a reply built on another thread: their
    // numbers copied, their names the totals' shared names, by slot.
    struct LiveFlowsSnapshot {
        static constexpr size_t kAnonymous = static_cast<size_t>(-1);
        struct Row {
            size_t ipSlot;
            size_t userSlot;  // kAnonymous for anonymous clients
            int connections;
            uint64_t bytes;
            uint64_t bytesLastSecond;
        };
        std::shared_ptr<const std::vector<std::string>> ipNames;
        std::shared_ptr<const std::vector<std::string>> userNames;
        std::vector<Row> rows;
    };

    explicit TrafficStats(int64_t nowUnix = 0, size_t maxTotals = kMaxTotals)
        : now_(nowUnix), maxTotals_(maxTotals) {}
    TrafficStats(const TrafficStats&) = delete;
    TrafficStats& operator=(const TrafficStats&) = delete;

    // One more connection of this address and user; the flow stays valid until its Close.
    Flow* Open(const std::string& ip, const std::string& user);
    void Close(Flow* flow);
    void Add(Flow* flow, uint64_t bytes) {
        flow->bytes += bytes;
        flow->bytesThisSecond += bytes;
        flow->ipTotals->bytes += bytes;
        flow->ipTotals->lastActive = now_;
        if (flow->userTotals != nullptr) {
            flow->userTotals->bytes += bytes;
            flow->userTotals->lastActive = now_;
        }
        totalBytes_ += bytes;
    }

    // Once a second: closes the flows' rates of the second and drops flows without connections.
    void Tick(int64_t nowUnix);

    uint64_t TotalBytes() const { return totalBytes_; }
    // Counted as connections open and close: the control channel asks every few seconds, and a
    // count of ten thousand addresses would hold up the event loop for milliseconds.
    int OnlineUsers() const { return onlineUsers_; }      // named users with a live connection
    int OnlineDevices() const { return onlineDevices_; }  // client addresses with one
    int Connections() const { return connections_; }

    size_t FlowCount() const { return flowSlots_.size(); }
    // On the event loop: a few numbers per live flow from one block, no string copied.
    std::shared_ptr<const LiveFlowsSnapshot> LiveFlows() const;
    const TotalsTable& ByIp() const { return byIp_; }
    const TotalsTable& ByUser() const { return byUser_; }

private:
    int64_t now_;
    size_t maxTotals_;
    uint64_t totalBytes_ = 0;
    int onlineUsers_ = 0;
    int onlineDevices_ = 0;
    int connections_ = 0;
    std::deque<Flow> flows_;  // by slot: a deque, so a flow never moves while sessions hold it
    std::map<FlowKey, size_t> flowSlots_;
    std::vector<size_t> freeFlowSlots_;
    TotalsTable byIp_;
    TotalsTable byUser_;
};
