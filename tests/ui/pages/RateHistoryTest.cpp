#include <gtest/gtest.h>

#include "ui/pages/models/RateHistory.h"

namespace dashboard {
namespace {

// Samples added in order (each `times` times) and the axis top after them.
TEST(RateHistory, RescalingSequenceAndTheTopRuleAtItsBoundaries) {
    const struct {
        double sample;
        int times;
        double top;
    } steps[] = {
        {50, 1, 100},    {1000, 1, 1100}, {1100, 1, 1100},  // equal to the top: nothing changes
        {150, 1, 1100},                                     // 1000 and 1100 still shown
        {200, 29, 220},                   // they have left; peak below a fifth: 110 % of it
        {90, 30, 100},                    // all below 100: back to 0..100
        {5000, 1, 5500}, {10, 29, 5500},  // 5000 is the oldest of the 30 shown
        {10, 1, 100},                     // and now it has left
    };
    RateHistory h;
    for (const auto& s : steps) {
        for (int i = 0; i < s.times; ++i) h.Add(s.sample);
        EXPECT_DOUBLE_EQ(h.AxisTop(), s.top) << s.sample << " x" << s.times;
    }
    EXPECT_DOUBLE_EQ(NextRateAxisTop(100, 100.5), 110.55);  // just above the top
    EXPECT_DOUBLE_EQ(NextRateAxisTop(1100, 220), 1100);     // exactly a fifth: stays
    EXPECT_DOUBLE_EQ(NextRateAxisTop(1100, 219), 240.9);
    EXPECT_DOUBLE_EQ(NextRateAxisTop(100, 99.9), 100);
}

// A new start time drops the old run's samples and scale; the first reading and a repeated one
// keep them.
TEST(RateHistory, ARestartedServerStartsAnEmptyChart) {
    RateHistory h;
    h.Add(5000);
    for (const auto& [startTime, dropped] : {std::pair{"2026-12-7 9:0:0", false},
                                             {"2026-12-7 9:0:0", false},
                                             {"2026-12-7 9:30:5", true}}) {
        EXPECT_EQ(h.ServerStarted(startTime), dropped) << startTime;
        EXPECT_DOUBLE_EQ(h.Samples().back(), dropped ? 0 : 5000) << startTime;
        EXPECT_DOUBLE_EQ(h.AxisTop(), dropped ? 100 : 5500) << startTime;
    }
}

}  // namespace
}  // namespace dashboard
