#include <gtest/gtest.h>

#include "chart/LayoutMath.h"

namespace chart {
namespace {

TEST(AxisLayout, MarginsShrinkThePlottingRectangle) {
    const ChartRect area{0, 0, 600, 300};
    ChartRect plot = area;
    EXPECT_EQ(ApplyAxisMargin(BottomAxis, {{20, 13}, {100, 17}, true, 0}, area, plot), 36);
    EXPECT_EQ(plot, (ChartRect{0, 0, 600 - 10 - 3, 300 - 36}));
    plot = area;
    EXPECT_EQ(ApplyAxisMargin(LeftAxis, {{24, 13}, {17, 100}, true, 0}, area, plot), 24 + 10 + 17);
    EXPECT_EQ(plot, (ChartRect{51, 3 + 6, 600, 300}));
    EXPECT_EQ(ApplyAxisMargin(RightAxis, {{24, 13}, {0, 0}, false, 40}, area, plot), 40);
    EXPECT_EQ(plot.right, 560);  // a fixed margin is used as stored
}

TEST(Legend, DockedRectangleAndRows) {
    const ChartRect area{0, 0, 600, 300};
    EXPECT_TRUE(LegendRectFor({}, {}, area).IsEmpty());
    const std::vector<ChartSize> names = {{50, 12}, {80, 20}};
    const LegendLayout vertical;  // docked right: width 12 + 16 + 80, height 18 + 22 + 6
    const ChartRect r = LegendRectFor(vertical, names, area);
    EXPECT_EQ(r, (ChartRect{600 - 108 - 6, 150 - 24, 600 - 6, 150 - 24 + 46}));
    const std::vector<LegendRow> rows = LegendRows(vertical, r, names);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].symbol, (ChartRect{r.left + 2, r.top + 5, r.left + 18, r.top + 22}));
    EXPECT_EQ(rows[0].textY, (r.top + 5 + r.top + 22) / 2 - 6);
    // A name taller than the symbol: text at the row's top, symbol moved down.
    EXPECT_EQ(rows[1].textY, r.top + 5 + 18);
    EXPECT_EQ(rows[1].symbol.top, r.top + 5 + 18 + 2);
}

TEST(Title, SizeAndCentredLines) {
    EXPECT_EQ(TitleSizeFor({}), (ChartSize{0, 0}));
    const std::vector<ChartSize> lines = {{200, 16}, {120, 13}};
    EXPECT_EQ(TitleSizeFor(lines), (ChartSize{202, 4 + 18 + 15}));
    EXPECT_EQ(TitleLineOrigins({3, 3, 603, 40}, lines),
              (std::vector<TextOrigin>{{203, 7}, {243, 25}}));
}

}  // namespace
}  // namespace chart
