#include <gtest/gtest.h>

#include "chart/LayoutMath.h"

namespace chart {
namespace {

TEST(AxisLayout, PlacementFollowsThePlottingRectangle) {
    const ChartRect P{60, 30, 500, 250}, R{3, 20, 597, 297};
    EXPECT_EQ(PlaceAxis(BottomAxis, P, R), (AxisPlacement{60, 500, {3, 250, 597, 297}}));
    EXPECT_EQ(PlaceAxis(TopAxis, P, R), (AxisPlacement{60, 500, {3, 20, 597, 30}}));
    EXPECT_EQ(PlaceAxis(LeftAxis, P, R), (AxisPlacement{250, 30, {3, 20, 60, 297}}));
    EXPECT_EQ(PlaceAxis(RightAxis, P, R), (AxisPlacement{250, 30, {500, 20, 597, 297}}));
}

TEST(AxisLayout, MarginsShrinkThePlottingRectangle) {
    const ChartRect R{0, 0, 600, 300};
    ChartRect P = R;
    AxisMarginInput horizontal{{20, 13}, {100, 17}, true, 0};
    EXPECT_EQ(ApplyAxisMargin(BottomAxis, horizontal, R, P), 13 + 6 + 17);
    EXPECT_EQ(P, (ChartRect{0, 0, 600 - 10 - 3, 300 - 36}));
    EXPECT_EQ(ApplyAxisMargin(TopAxis, {{20, 13}, {0, 0}, true, 0}, R, P), 19);
    EXPECT_EQ(P.top, 19);

    AxisMarginInput vertical{{24, 13}, {17, 100}, true, 0};
    P = R;
    EXPECT_EQ(ApplyAxisMargin(LeftAxis, vertical, R, P), 24 + 10 + 17);
    EXPECT_EQ(P, (ChartRect{51, 3 + 6, 600, 300}));
    EXPECT_EQ(ApplyAxisMargin(RightAxis, {{24, 13}, {0, 0}, false, 40}, R, P), 40);
    EXPECT_EQ(P.right, 560);
}

TEST(ScrollBarLayout, BarsLieAlongTheirSide) {
    const ChartRect P{60, 30, 500, 250};
    EXPECT_EQ(ScrollBarRect(BottomAxis, P, 15), (ChartRect{61, 235, 500, 250}));
    EXPECT_EQ(ScrollBarRect(TopAxis, P, 15), (ChartRect{61, 31, 500, 46}));
    EXPECT_EQ(ScrollBarRect(LeftAxis, P, 15), (ChartRect{61, 31, 76, 250}));
    EXPECT_EQ(ScrollBarRect(RightAxis, P, 15), (ChartRect{485, 31, 500, 250}));
}

TEST(Legend, NoNamesMeansNoRectangle) {
    EXPECT_TRUE(LegendRectFor({}, {}, {0, 0, 600, 300}).IsEmpty());
}

TEST(Legend, DockedRectanglesAndRows) {
    const std::vector<ChartSize> names = {{50, 12}, {80, 20}};
    const ChartRect area{0, 0, 600, 300};
    LegendLayout vertical;  // docked right
    // width 12 + 16 + 80, height (16 + 2) + (20 + 2) + 6
    const ChartRect r = LegendRectFor(vertical, names, area);
    EXPECT_EQ(r, (ChartRect{600 - 108 - 6, 150 - 24, 600 - 6, 150 - 24 + 46}));
    EXPECT_EQ(ShrinkForLegend(area, r, 0).right, r.left + 2);

    LegendLayout horizontal;
    horizontal.horizontal = true;
    horizontal.dock = 3;
    // width (16+14+50) + (16+14+80) - 6, height max(20, 16) + 8
    const ChartRect h = LegendRectFor(horizontal, names, area);
    EXPECT_EQ(h.Width(), 184);
    EXPECT_EQ(h.Height(), 28);
    EXPECT_EQ(h.bottom, 298);

    const std::vector<LegendRow> rows = LegendRows(vertical, r, names);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].symbol, (ChartRect{r.left + 2, r.top + 5, r.left + 18, r.top + 22}));
    EXPECT_EQ(rows[0].textY, (r.top + 5 + r.top + 22) / 2 - 6);
    // Second name is taller than the symbol: text at the symbol's top, symbol moved down.
    EXPECT_EQ(rows[1].textY, r.top + 5 + 18);
    EXPECT_EQ(rows[1].symbol.top, r.top + 5 + 18 + 2);
}

TEST(Title, SizeAndCentredLines) {
    EXPECT_EQ(TitleSizeFor({}), (ChartSize{0, 0}));
    const std::vector<ChartSize> lines = {{200, 16}, {120, 13}};
    EXPECT_EQ(TitleSizeFor(lines), (ChartSize{202, 4 + 18 + 15}));
    const std::vector<TextOrigin> o = TitleLineOrigins({3, 3, 603, 40}, lines);
    EXPECT_EQ(o[0], (TextOrigin{3 + 300 - 100, 7}));
    EXPECT_EQ(o[1], (TextOrigin{3 + 300 - 60, 7 + 18}));
}

}  // namespace
}  // namespace chart
