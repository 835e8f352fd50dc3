#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class DatabaseWorker;

// Alarms go to the log and to main.db within limits, so that a flood of them (a scan, a full
// server, a failing disk) cannot flood the table: at most kAlarmsPerSecond a second, the rest
// counted and told as one; a turned-away client's alarm at most once per 10 s; rows main.db
// lost at most once a minute.
class AlarmLimiter {
public:
    static constexpr int kAlarmsPerSecond = 20;

    explicit AlarmLimiter(DatabaseWorker& database) : database_(database) {}

    // Counted in the metrics always; logged and recorded when within this second's limit.
    void Raise(std::string source, std::string message);
    // A "limit" alarm for a client turned away: the first of any 10 s is raised, the others
    // dropped (a full server would raise one per client).
    void RaiseTurnedAway(const std::string& why);
    // Once a second: tells how many alarms the second past left out, and what main.db lost.
    void Tick();

private:
    struct LostCounts {
        uint64_t history = 0, alarms = 0, trafficBytes = 0;
        bool operator==(const LostCounts&) const = default;
    };
    void ReportLostRows();

    DatabaseWorker& database_;
    int alarmsThisSecond_ = 0;
    int alarmsSuppressed_ = 0;
    std::chrono::steady_clock::time_point lastTurnedAway_{};
    LostCounts reportedLost_;
    std::chrono::steady_clock::time_point lastLostRowsAlarm_{};
};
