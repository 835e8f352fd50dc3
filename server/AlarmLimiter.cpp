#include "server/AlarmLimiter.h"

#include <glog/logging.h>

#include <ctime>

#include "server/DatabaseWorker.h"
#include "server/SafeText.h"
#include "server/metrics/ServerMetrics.h"

namespace {

// Longest alarm source and message stored in main.db or logged.
constexpr size_t kMaxSource = 256;
constexpr size_t kMaxMessage = 1024;

}  // namespace

void AlarmLimiter::Raise(std::string source, std::string message) {
    metrics::CountAlarm(source);
    if (++alarmsThisSecond_ > kAlarmsPerSecond) {
        ++alarmsSuppressed_;
        return;
    }
    // Messages quote what clients sent (user names, hosts): escaped and cut like history.
    AlarmRecord alarm{SafeText(source, kMaxSource), SafeText(message, kMaxMessage),
                      static_cast<int64_t>(std::time(nullptr))};
    LOG(WARNING) << "alarm (" << alarm.source << "): " << alarm.message;
    database_.Record(std::move(alarm));
}

void AlarmLimiter::RaiseTurnedAway(const std::string& why) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTurnedAway_ < std::chrono::seconds(10)) return;
    lastTurnedAway_ = now;
    Raise("limit", why);
}

void AlarmLimiter::Tick() {
    if (alarmsSuppressed_ > 0) {
        const int suppressed = alarmsSuppressed_;
        alarmsSuppressed_ = 0;
        alarmsThisSecond_ = 0;
        Raise("limit", std::to_string(suppressed) + " more alarms in one second not recorded");
    }
    alarmsThisSecond_ = 0;
    ReportLostRows();
}

// What was lost is told as an alarm (at most one a minute; it reaches main.db once writing
// works again) besides the "lost_..." counts in "system".
void AlarmLimiter::ReportLostRows() {
    const LostCounts lost{database_.DroppedHistory(), database_.DroppedAlarms(),
                          database_.DroppedTrafficBytes()};
    const auto now = std::chrono::steady_clock::now();
    if (lost == reportedLost_ || now - lastLostRowsAlarm_ < std::chrono::minutes(1)) return;
    lastLostRowsAlarm_ = now;
    Raise("database", std::to_string(lost.history - reportedLost_.history) + " history rows, " +
                          std::to_string(lost.alarms - reportedLost_.alarms) + " alarm rows and " +
                          std::to_string(lost.trafficBytes - reportedLost_.trafficBytes) +
                          " bytes of accounts' traffic could not be stored");
    reportedLost_ = lost;
}
