#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The live values a scrape reads: counters, gauges and histograms of relaxed atomics. Any thread
// may count; a scrape reads each value once, so a page may mix values a few additions apart.
namespace metrics {

class Counter {
public:
    void Add(uint64_t count = 1) { value_.fetch_add(count, std::memory_order_relaxed); }
    uint64_t Value() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> value_{0};
};

class Gauge {
public:
    void Add(int64_t delta) { value_.fetch_add(delta, std::memory_order_relaxed); }
    int64_t Value() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<int64_t> value_{0};
};

// Observations of seconds in fixed buckets (upper bounds, ascending; +Inf is implied). The sum
// is kept in whole nanoseconds, so that it is an atomic addition as well.
class Histogram {
public:
    explicit Histogram(std::vector<double> bounds);
    void Observe(double seconds);

    struct Snapshot {
        std::vector<double> bounds;
        std::vector<uint64_t> cumulative;  // per bound, then +Inf (= the count)
        double sum = 0;
    };
    Snapshot Read() const;

private:
    std::vector<double> bounds_;
    std::unique_ptr<std::atomic<uint64_t>[]> buckets_;  // bounds_.size() + 1, not cumulative
    std::atomic<uint64_t> sumNanos_{0};
};

// One value per label value of a label whose values are fixed (an enum's): a family that can
// never grow beyond them, whatever clients do.
template <typename Metric, size_t N>
class Labeled {
public:
    template <typename Enum>
    Metric& operator[](Enum value) {
        return values_[static_cast<size_t>(value)];
    }
    const Metric& At(size_t index) const { return values_[index]; }
    static constexpr size_t size() { return N; }

private:
    std::array<Metric, N> values_;
};

}  // namespace metrics
