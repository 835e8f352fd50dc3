#pragma once
// When the console tells the user something happened on its own: the service stopped without
// the console asking, or the alarm count rose. Plain rules over what the dashboard reads; each
// event is told once.
#include <utility>

#include "service/ServiceState.h"

class NoticeWatch {
public:
    // A service state just read; true when it tells that the running service went down
    // unasked (running, then anything but running or start pending).
    bool StateRead(int state) {
        const int before = std::exchange(lastState_, state);
        return !toggling_ && before == kServiceRunning && state != kServiceRunning &&
               state != kServiceStartPending;
    }
    // The console's own start or stop: what is read meanwhile, and the first state after it,
    // was asked for.
    void ToggleStarted() { toggling_ = true; }
    void ToggleFinished() {
        toggling_ = false;
        lastState_ = kUnknown;
    }
    // The alarm count just read; how many alarms are new since the last reading (0 for the
    // first reading and when the count fell, e.g. after old alarms were pruned).
    int AlarmsRead(int total) {
        const int before = std::exchange(lastAlarms_, total);
        return before >= 0 && total > before ? total - before : 0;
    }

private:
    static constexpr int kUnknown = -1;
    int lastState_ = kUnknown;
    int lastAlarms_ = -1;
    bool toggling_ = false;
};
