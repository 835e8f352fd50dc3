#include "server/RateWindow.h"

#include <algorithm>
#include <cmath>
#include <limits>

RateWindow::RateWindow(Clock::time_point start) {
    marks_.push_back({start, 0});
}

void RateWindow::Mark(Clock::time_point now, uint64_t total) {
    marks_.push_back({now, total});
    // Keep the newest mark at or before now - kLongest: a window may begin there.
    while (marks_.size() > 2 && marks_[1].at <= now - kLongest) marks_.pop_front();
}

RateWindow::Point RateWindow::WindowStart(Clock::time_point now) const {
    if (answered_ && now - answered_->at <= kLongest) return *answered_;
    const Clock::time_point wanted = now - (answered_ ? kLongest : kFirst);
    // The newest mark at or before the wanted start; a server younger than that begins at its
    // oldest mark.
    Point start = marks_.front();
    for (const Point& mark : marks_) {
        if (mark.at > wanted) break;
        start = mark;
    }
    return start;
}

uint64_t RateWindow::Answer(Clock::time_point now, uint64_t total) {
    const Point start = WindowStart(now);
    if (now - start.at < kShortest) return lastRate_;
    const double seconds = std::chrono::duration<double>(now - start.at).count();
    const double rate = std::round(static_cast<double>(total - start.total) / seconds);
    lastRate_ = static_cast<uint64_t>(
        std::min(rate, static_cast<double>(std::numeric_limits<uint32_t>::max())));
    answered_ = Point{now, total};
    return lastRate_;
}
