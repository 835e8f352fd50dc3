#include "Common/DateTime.h"

#include <chrono>

DateTime DateTime::FromLocalTime(const std::tm& local, uint16_t milliseconds) {
    DateTime value;
    value.year = static_cast<uint16_t>(local.tm_year + 1900);
    value.month = static_cast<uint8_t>(local.tm_mon + 1);
    value.day = static_cast<uint8_t>(local.tm_mday);
    value.hour = static_cast<uint8_t>(local.tm_hour);
    value.minute = static_cast<uint8_t>(local.tm_min);
    value.second = static_cast<uint8_t>(local.tm_sec);
    value.milliseconds = milliseconds;
    return value;
}

DateTime DateTime::Now() {
    using std::chrono::system_clock;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return FromLocalTime(local, static_cast<uint16_t>(millis));
}

DateTime DateTime::FromUnixTime(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    if (local.tm_sec >= 60) local.tm_sec = 59;
    return FromLocalTime(local);
}

std::string DateTime::ToString() const {
    return std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) + " " +
           std::to_string(hour) + ":" + std::to_string(minute) + ":" + std::to_string(second);
}
