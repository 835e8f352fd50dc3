#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// What one client address's or user's traffic adds up to since the start.
struct TrafficTotals {
    uint64_t bytes = 0;
    int64_t lastActive = 0;  // Unix time, seconds
    int flows = 0;           // live flows that point here: never dropped while any
    int connections = 0;     // live connections counted here
};

// A table's totals as they were, for a reply built on another thread: the numbers copied in one
// block, the names shared. Both by slot; an empty name is a free slot (no address or user name
// is empty).
struct TotalsSnapshot {
    std::shared_ptr<const std::vector<std::string>> names;
    std::vector<TrafficTotals> totals;
};

// Totals by name, on the event loop's thread only. Each stays in its slot while it is kept
// (flows point at it), so that a snapshot copies the numbers of ten thousand names in one sweep
// of a block instead of visiting ten thousand tree nodes and strings: the names are shared with
// the snapshots and written again only when one is added or dropped while a snapshot holds them.
class TotalsTable {
public:
    TotalsTable() : names_(std::make_shared<std::vector<std::string>>()) {}
    TotalsTable(const TotalsTable&) = delete;
    TotalsTable& operator=(const TotalsTable&) = delete;

    // Added, all zero, when missing.
    TrafficTotals& operator[](const std::string& name);
    // Throws std::out_of_range when missing.
    const TrafficTotals& at(const std::string& name) const { return totals_[slots_.at(name)]; }
    size_t count(const std::string& name) const { return slots_.count(name); }
    size_t size() const { return slots_.size(); }
    // Where `name` is kept, and stays while flows point at it; throws std::out_of_range when
    // missing.
    size_t Slot(const std::string& name) const { return slots_.at(name); }
    // The names by slot, shared: written anew, never changed, while anyone holds them.
    std::shared_ptr<const std::vector<std::string>> Names() const { return names_; }

    // Beyond `limit`, those longest inactive and without a live flow go, down to 90 % of it.
    void Bound(size_t limit);
    std::shared_ptr<const TotalsSnapshot> Snapshot() const;

private:
    // The names to write to: a copy of them while a snapshot holds them.
    std::vector<std::string>& WritableNames();

    std::unordered_map<std::string, size_t> slots_;
    std::deque<TrafficTotals> totals_;  // a deque: slots never move as it grows
    std::shared_ptr<std::vector<std::string>> names_;
    std::vector<size_t> freeSlots_;
};
