#include "server/TotalsTable.h"

#include <algorithm>
#include <atomic>

TrafficTotals& TotalsTable::operator[](const std::string& name) {
    const auto [it, added] = slots_.try_emplace(name, totals_.size());
    if (!added) return totals_[it->second];
    std::vector<std::string>& names = WritableNames();
    if (!freeSlots_.empty()) {
        it->second = freeSlots_.back();
        freeSlots_.pop_back();
        names[it->second] = name;
        return totals_[it->second] = TrafficTotals{};
    }
    names.push_back(name);
    return totals_.emplace_back();
}

void TotalsTable::Bound(size_t limit) {
    if (slots_.size() <= limit) return;
    std::vector<size_t> idle;
    for (const auto& [name, slot] : slots_) {
        if (totals_[slot].flows == 0) idle.push_back(slot);
    }
    const size_t excess = std::min(idle.size(), slots_.size() - limit / 10 * 9);
    std::nth_element(
        idle.begin(), idle.begin() + static_cast<ptrdiff_t>(excess), idle.end(),
        [this](size_t a, size_t b) { return totals_[a].lastActive < totals_[b].lastActive; });
    std::vector<std::string>& names = WritableNames();
    for (size_t i = 0; i < excess; ++i) {
        const size_t slot = idle[i];
        slots_.erase(names[slot]);
        names[slot].clear();
        totals_[slot] = TrafficTotals{};
        freeSlots_.push_back(slot);
    }
}

std::shared_ptr<const TotalsSnapshot> TotalsTable::Snapshot() const {
    auto snapshot = std::make_shared<TotalsSnapshot>();
    snapshot->names = Names();
    snapshot->totals.assign(totals_.begin(), totals_.end());
    return snapshot;
}

std::vector<std::string>& TotalsTable::WritableNames() {
    if (names_.use_count() > 1) {
        names_ = std::make_shared<std::vector<std::string>>(*names_);
    } else {
        // The last snapshot may have been let go on another thread: its reads come before
        // these writes.
        std::atomic_thread_fence(std::memory_order_acquire);
    }
    return *names_;
}
