#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "Common/DateTime.h"

namespace {

// Sets the local time zone for one test and puts the previous one back.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

TEST(DateTime, TextHasNoPaddingAndNoMilliseconds) {
    const struct {
        DateTime value;
        const char* text;
    } cases[] = {
        {{2025, 3, 3, 9, 5, 7, 999}, "2025-3-3 9:5:7"},
        {{2024, 12, 31, 23, 59, 59, 0}, "2024-12-31 23:59:59"},
        {{2000, 1, 1, 0, 0, 0, 0}, "2000-1-1 0:0:0"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.ToString(), c.text);
}

TEST(DateTime, UnixTimeIsShownInLocalTime) {
    TimeZone utc("UTC");
    EXPECT_EQ(DateTime::FromUnixTime(0).ToString(), "1970-1-1 0:0:0");
    EXPECT_EQ(DateTime::FromUnixTime(1741000000).ToString(), "2025-3-3 11:6:40");
    EXPECT_EQ(DateTime::FromUnixTime(4294967295u).ToString(), "2106-2-7 6:28:15");
    TimeZone shanghai("Asia/Shanghai");
    EXPECT_EQ(DateTime::FromUnixTime(0).ToString(), "1970-1-1 8:0:0");
}

TEST(DateTime, ALeapSecondIsShownAs59) {
    if (access("/usr/share/zoneinfo/right/UTC", R_OK) != 0) GTEST_SKIP() << "no leap-second zone";
    TimeZone leapAware("right/UTC");
    EXPECT_EQ(DateTime::FromUnixTime(1483228826).ToString(), "2016-12-31 23:59:59");
    EXPECT_EQ(DateTime::FromUnixTime(1483228827).ToString(), "2017-1-1 0:0:0");
}

TEST(DateTime, NowFollowsTheLocalClock) {
    const time_t before = time(nullptr);
    const DateTime now = DateTime::Now();
    tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(now.year, local.tm_year + 1900);
    EXPECT_LT(now.milliseconds, 1000);
}

}  // namespace
