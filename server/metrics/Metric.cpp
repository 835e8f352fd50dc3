#include "server/metrics/Metric.h"

#include <algorithm>
#include <cmath>

namespace metrics {

Histogram::Histogram(std::vector<double> bounds)
    : bounds_(std::move(bounds)), buckets_(new std::atomic<uint64_t>[bounds_.size() + 1]) {
    std::sort(bounds_.begin(), bounds_.end());
    for (size_t i = 0; i <= bounds_.size(); ++i) buckets_[i].store(0, std::memory_order_relaxed);
}

void Histogram::Observe(double seconds) {
    if (!(seconds >= 0)) seconds = 0;  // a clock that stepped back, or NaN
    const size_t bucket =
        std::lower_bound(bounds_.begin(), bounds_.end(), seconds) - bounds_.begin();
    buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
    sumNanos_.fetch_add(static_cast<uint64_t>(std::llround(std::min(seconds, 1e9) * 1e9)),
                        std::memory_order_relaxed);
}

Histogram::Snapshot Histogram::Read() const {
    Snapshot snapshot;
    snapshot.bounds = bounds_;
    uint64_t running = 0;
    for (size_t i = 0; i <= bounds_.size(); ++i) {
        running += buckets_[i].load(std::memory_order_relaxed);
        snapshot.cumulative.push_back(running);
    }
    snapshot.sum = static_cast<double>(sumNanos_.load(std::memory_order_relaxed)) / 1e9;
    return snapshot;
}

}  // namespace metrics
