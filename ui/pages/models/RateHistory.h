#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace dashboard {

// The traffic-rate samples the dashboard charts (the 30 most recent, oldest first) and the top
// of the chart's vertical range. The range never drops below 0..100, grows to 110 % of a new
// peak at once, and shrinks to 110 % of the peak only once the peak has fallen below a fifth
// of it, so the chart does not rescale on every sample.
class RateHistory {
public:
    static constexpr std::size_t kSamples = 30;
    static constexpr double kFloorTop = 100.0;

    // Adds a sample: rescales the top from the samples that stay on the chart, then drops the
    // oldest sample.
    void Add(double sample);
    // The server's start time as it just read it: a start time other than the one read before
    // means the server was restarted, and the samples of the old run are dropped (true).
    bool ServerStarted(const std::string& startTime);

    const std::array<double, kSamples>& Samples() const { return samples_; }
    double AxisTop() const { return axisTop_; }

private:
    std::array<double, kSamples> samples_{};
    double axisTop_ = kFloorTop;
    std::string startTime_;  // empty until the first reading
};

// New top of the vertical range for the peak of the samples on the chart.
double NextRateAxisTop(double currentTop, double peak);

// The one history of the process: it outlives the dashboard page.
RateHistory& TheRateHistory();

}  // namespace dashboard
