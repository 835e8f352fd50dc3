#include "Common/DateTime.h"
#include "tests/Common/TestSupport.h"
#include "tests/support/ScopedOverrides.h"

namespace {

TEST(DateTime, UnixTimeIsShownInLocalTimeWithoutPadding) {
    for (const auto& [zone, seconds, text] :
         std::vector<std::tuple<const char*, uint32_t, const char*>>{
             {"UTC", 1741000000, "2025-3-3 11:6:40"},
             {"UTC", 4294967295u, "2106-2-7 6:28:15"},  // past 2038
             {"Asia/Shanghai", 0, "1970-1-1 8:0:0"},
             // right/UTC counts leap seconds (2016's last is 23:59:60): no 60th second here.
             {"right/UTC", 1483228826, "2016-12-31 23:59:59"},
             {"right/UTC", 1483228827, "2017-1-1 0:0:0"}}) {
        const test::ScopedTimeZone timeZone(zone);
        EXPECT_EQ(DateTime::FromUnixTime(seconds).ToString(), text) << zone;
    }
}

}  // namespace
