#include "ui/pages/models/RateHistory.h"

#include <algorithm>
#include <utility>

namespace dashboard {

double NextRateAxisTop(double currentTop, double peak) {
    if (peak < RateHistory::kFloorTop) return RateHistory::kFloorTop;
    if (peak > currentTop) return peak * 1.1;
    if (currentTop * 0.2 > peak) return peak * 1.1;
    return currentTop;
}

void RateHistory::Add(double sample) {
    // The peak covers what stays on the chart: the new sample and the 29 most recent ones.
    double peak = std::max(0.0, sample);
    for (std::size_t i = 1; i < kSamples; ++i) peak = std::max(peak, samples_[i]);
    axisTop_ = NextRateAxisTop(axisTop_, peak);
    std::rotate(samples_.begin(), samples_.begin() + 1, samples_.end());
    samples_[kSamples - 1] = sample;
}

bool RateHistory::ServerStarted(const std::string& startTime) {
    const std::string before = std::exchange(startTime_, startTime);
    if (before.empty() || before == startTime) return false;
    samples_.fill(0.0);
    axisTop_ = kFloorTop;
    return true;
}

RateHistory& TheRateHistory() {
    static RateHistory history;
    return history;
}

}  // namespace dashboard
