#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

// The byte rate the "bandwidth" answer reports: the average over the time since the previous
// answer, so that the console's samples, one per poll, add up to the bytes moved whatever the
// poll period. A window is at most kLongest (a console that comes back after a pause sees the
// recent rate, not an average over the pause); the first answer covers about kFirst. The
// loop's thread alone uses it.
class RateWindow {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kLongest = std::chrono::seconds(10);
    static constexpr Clock::duration kFirst = std::chrono::seconds(2);
    // Answers closer together than this report the previous rate and leave the bytes
    // between them to the next answer: a tiny window would make any burst a huge rate.
    static constexpr Clock::duration kShortest = std::chrono::milliseconds(250);

    // `start`: when the server began counting (its total was 0 then).
    explicit RateWindow(Clock::time_point start);

    // Once a second: the running total at `now`, from which later windows may begin.
    void Mark(Clock::time_point now, uint64_t total);
    // Bytes per second between the window's start and `now` (the total then), rounded;
    // at most 2^32 - 1, what the console reads.
    uint64_t Answer(Clock::time_point now, uint64_t total);

private:
    struct Point {
        Clock::time_point at;
        uint64_t total = 0;
    };
    Point WindowStart(Clock::time_point now) const;

    std::deque<Point> marks_;  // oldest first, reaching a little further back than kLongest
    std::optional<Point> answered_;
    uint64_t lastRate_ = 0;
};
