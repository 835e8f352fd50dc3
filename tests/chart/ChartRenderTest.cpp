#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <functional>

#include "ChartTestSupport.h"

namespace chart {
namespace {

using namespace chart::testing;
constexpr ChartColor kBlack = 0x000000, kGrid = 0x808080;

// The rate chart's points and scale follow its history: DashboardTest and RateHistoryTest.
// Samples 20..49 (the range stays 0..100) at 640 x 300: the surface, frame, marks and grid.
TEST(RateChart, SurfaceFrameTickMarksAndGridDashesWhereTheRulesPutThem) {
    RateChartFixture c;
    for (int i = 0; i < 30; ++i) c.history.Add(20 + i);
    ApplyRateHistory(c.rate, c.history);
    const QImage img = c.chart.BackBuffer();
    const ChartRect P = c.chart.GetPlottingRect();
    // Filled from the curve down to the frame, one pixel inside it.
    for (int i = 1; i < 29; ++i) {
        const int x = c.rate.series->GetPointScreenCoord(i).x();
        const int curve = c.rate.leftAxis->ValueToPixel(c.history.Samples()[i]);
        EXPECT_EQ(PixelsOf(img, {x, curve + 2, x + 1, P.bottom}, kRateSeriesColor),
                  P.bottom - curve - 2)
            << i;
        EXPECT_FALSE(IsColor(img, x, curve - 3, kRateSeriesColor)) << i;
    }
    // Blue down to the frame, the frame black all round, nothing blue outside it.
    const int w = P.right - P.left - 1, h = P.bottom - P.top + 1;
    EXPECT_EQ(PixelsOf(img, {P.left + 1, P.bottom - 1, P.right, P.bottom}, kRateSeriesColor), w);
    EXPECT_EQ(PixelsOf(img, {P.left, P.bottom, P.right + 1, P.bottom + 1}, kBlack), w + 2);
    EXPECT_EQ(PixelsOf(img, {P.left, P.top, P.left + 1, P.bottom + 1}, kBlack), h);
    EXPECT_EQ(PixelsOf(img, {P.right, P.top, P.right + 1, P.bottom + 1}, kBlack), h);
    EXPECT_EQ(PixelsOf(img, {0, P.bottom + 1, 640, P.bottom + 2}, kRateSeriesColor), 0);
    const ChartColor back = c.chart.GetBackColor();
    CChartStandardAxis* left = c.rate.leftAxis;
    const std::vector<int>& ticks = left->GetGrid()->Ticks();
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(std::pair(ticks.front(), ticks.back()), std::pair(P.bottom, P.top));
    // Left axis at 80: 3-pixel marks outside both sides; grid dashes 3 on, 3 off, frame black.
    ASSERT_EQ(std::fmod(80, left->GetTickIncrement()), 0.0);
    const int q = left->ValueToScreen(80);
    const ChartColor row[] = {back, kBlack, kBlack, kBlack, kBlack, kGrid, kGrid,
                              back, back,   back,   kGrid,  kGrid,  kGrid, back};
    for (int i = 0; i < 14; ++i) EXPECT_TRUE(IsColor(img, P.left - 4 + i, q, row[i])) << i;
    EXPECT_EQ(PixelsOf(img, {P.right + 1, q, P.right + 4, q + 1}, kBlack), 3);
    // Bottom axis at the tick of 10: the mark under the frame, dashes rising above the surface.
    const int t = c.chart.GetAxis(BottomAxis)->ValueToScreen(10), curve = left->ValueToPixel(40);
    EXPECT_EQ(PixelsOf(img, {t, P.bottom + 1, t + 1, P.bottom + 4}, kBlack), 3);
    EXPECT_TRUE(IsColor(img, t + 1, P.bottom + 2, back));
    int checked = 0;
    for (int y = P.bottom; y - 5 > P.top; y -= 6) {
        if (y > curve - 8) continue;  // under the surface
        EXPECT_EQ(PixelsOf(img, {t, y - 2, t + 1, y}, kGrid), 2) << y;
        EXPECT_TRUE(y - 4 == q || IsColor(img, t, y - 4, back)) << y;
        ++checked;
    }
    EXPECT_GT(checked, 5);
}

TEST(ChartRendering, EmptyChartDrawsBackgroundEdgeTitleAndFrameFollowsResizeAndDefersRefresh) {
    CChartCtrl chart;
    chart.resize(300, 200);
    chart.RefreshCtrl();
    const QImage bare = chart.BackBuffer();
    EXPECT_EQ(chart.GetPlottingRect(), (ChartRect{3, 3, 297, 197}));
    EXPECT_TRUE(IsColor(bare, 3, 100, kBlack) && IsColor(bare, 150, 100, chart.GetBackColor()) &&
                IsColor(bare, 2, 100, chart.GetBackColor()));
    // The raised edge: light outside top-left, darkest shadow outside bottom-right.
    const QPalette pal = QGuiApplication::palette();
    for (auto [x, role] : {std::pair(0, QPalette::Midlight), std::pair(1, QPalette::Light),
                           std::pair(298, QPalette::Dark), std::pair(299, QPalette::Shadow)})
        EXPECT_EQ(bare.pixel(x, 50), pal.color(role).rgb()) << x;
    // The title is drawn in a band at the top; without axes the frame keeps its place.
    chart.GetTitle()->AddString(kChartTitle);
    const ChartRect band{4, 4, 296, chart.GetTitle()->GetRect().bottom};
    EXPECT_GT(PixelsOf(chart.BackBuffer(), band), 20);
    EXPECT_EQ(chart.GetPlottingRect(), (ChartRect{3, 3, 297, 197}));
    // A resize recreates the back buffer at the new size.
    chart.resize(400, 250);
    QResizeEvent resize(QSize(400, 250), QSize(300, 200));
    QApplication::sendEvent(&chart, &resize);
    EXPECT_EQ(chart.BackBuffer().size(), QSize(400, 250));
    EXPECT_TRUE(IsColor(chart.BackBuffer(), 397, 125, kBlack));
    // A refresh while refreshing is off runs once when the counter comes back to one.
    const int before = chart.RedrawCount();
    chart.EnableRefresh(false);
    chart.EnableRefresh(false);
    chart.RefreshCtrl();
    EXPECT_TRUE(chart.IsRefreshPending());
    for (int counter : {0, 1, 2}) {  // at 1 the pending refresh runs once, at 2 nothing is left
        chart.EnableRefresh(true);
        EXPECT_EQ(chart.RedrawCount(), before + (counter > 0)) << counter;
        EXPECT_EQ(chart.IsRefreshPending(), counter == 0) << counter;
    }
}

// Each part (axis, its label and grid, series, legend, title) has its control redraw after a
// change: at once, or once when redraws are held back and released.
TEST(ChartRendering, EveryPartsChangeRedrawsTheChartOrWaitsForTheRelease) {
    TwoAxisChart c(300, 200);
    CChartSurfaceSerie* s = c.Surface({{0, 1}, {5, 5}});
    const SChartXYPoint points[] = {{1, 2}, {4, 8}};
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"axis range", [&] { c.left->SetMinMax(0, 20); }},
        {"tick step", [&] { c.bottom->SetTickIncrement(2, 0); }},
        {"axis label", [&] { c.left->GetLabel()->SetText(kAxisTitle); }},
        {"grid", [&] { c.left->GetGrid()->SetColor(0x00FF00); }},
        {"series colour", [&] { s->SetColor(0xFF0000); }},
        {"series points", [&] { s->SetPoints(points, 2); }},
        {"legend", [&] { c.chart.GetLegend()->SetVisible(true); }},
        {"title", [&] { c.chart.GetTitle()->AddString(kChartTitle); }},
    };
    for (const auto& [part, change] : changes) {
        int before = c.chart.RedrawCount();
        change();
        EXPECT_GT(c.chart.RedrawCount(), before) << part;
        c.chart.EnableRefresh(false);
        before = c.chart.RedrawCount();
        change();
        EXPECT_EQ(c.chart.RedrawCount(), before) << part;
        EXPECT_TRUE(c.chart.IsRefreshPending()) << part;
        c.chart.EnableRefresh(true);
        EXPECT_EQ(c.chart.RedrawCount(), before + 1) << part;
    }
}

const auto IsDark = [](QColor c) { return c.lightness() < 100; };
const auto IsRed = [](QColor c) { return c.red() - c.green() > 80; };
const auto IsDarkNotRed = [](QColor c) { return IsDark(c) && !IsRed(c); };

// The bounding box of the inked pixels of r (right and bottom excluded); empty when none.
QRect InkBox(const QImage& img, const ChartRect& r, bool (*inked)(QColor) = IsDark) {
    QRect box;
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, img.height()); ++y)
        for (int x = std::max(r.left, 0); x < std::min(r.right, img.width()); ++x)
            if (inked(img.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

// The chart title is centred over the chart. The left axis title, turned upwards, is centred
// along its axis, and the bottom one under its axis: an axis title's box is its text plus 4
// pixels and the text is drawn from the box's start in the direction it reads, so its middle
// lies 2 pixels before the axis' middle. Each tick label is centred on its tick; the left ones
// stand right of the left title, never over it (drawn red, so its pixels are told apart).
TEST(ChartRendering, TitlesAndTickLabelsAreCentred) {
    TwoAxisChart c(500, 300, {0, 100}, {0, 100});
    c.chart.GetTitle()->AddString(kChartTitle);
    c.left->GetLabel()->SetText(kAxisTitle);
    c.left->GetLabel()->SetColor(MakeChartColor(255, 0, 0));
    c.bottom->GetLabel()->SetText(QStringLiteral("Time of day"));
    c.chart.RefreshCtrl();
    const QImage img = c.chart.BackBuffer();
    const ChartRect P = c.chart.GetPlottingRect();
    const ChartRect under = c.bottom->GetLabel()->GetRect();  // its rows cover the drawn text
    const auto middle = [](CChartAxis* axis) {
        return (axis->ValueToScreen(0) + axis->ValueToScreen(100)) / 2.0;
    };
    const QRect title = InkBox(img, {4, 4, 496, c.chart.GetTitle()->GetRect().bottom});
    EXPECT_NEAR(title.center().x(), 250, 2);
    const QRect leftTitle = InkBox(img, {4, 4, P.left, 296}, IsRed);
    EXPECT_GT(leftTitle.height(), 3 * leftTitle.width()) << "drawn upwards";
    EXPECT_NEAR(leftTitle.top() + leftTitle.height() / 2.0, middle(c.left) + 2, 1.5);
    const QRect bottomTitle = InkBox(img, {4, under.top, 496, under.bottom});
    EXPECT_NEAR(bottomTitle.left() + bottomTitle.width() / 2.0, middle(c.bottom) - 2, 1.5);
    const QRect leftTicks = InkBox(img, {4, P.top - 8, P.left - 5, P.bottom + 8}, IsDarkNotRed);
    EXPECT_GT(leftTicks.left(), leftTitle.right() + 1);

    for (CChartStandardAxis* axis : {c.left, c.bottom}) {
        const bool across = axis == c.bottom;
        const double step = axis->GetTickIncrement();
        const int half = std::abs(axis->ValueToScreen(step) - axis->ValueToScreen(0)) / 2;
        int labels = 0;
        for (double v = step; v < 100; v += step) {  // inner ticks: their labels are not clipped
            const int at = axis->ValueToScreen(v);
            const QRect label =
                across ? InkBox(img, {at - half + 1, P.bottom + 5, at + half, under.top})
                       : InkBox(img, {4, at - half + 1, P.left - 5, at + half}, IsDarkNotRed);
            if (label.isEmpty()) continue;
            EXPECT_NEAR(
                across ? label.left() + label.width() / 2.0 : label.top() + label.height() / 2.0,
                at + 0.5, 2.0)
                << v;
            ++labels;
        }
        EXPECT_GT(labels, 3) << across;
    }
}

TEST(ChartRendering, EqualBoundsPutLabelAndPointsInTheMiddleWithoutTicks) {
    TwoAxisChart c(400, 300, {0, 10}, {5, 5});
    CChartSurfaceSerie* serie = c.Surface({{0, 5}, {10, 5}});
    const QImage img = c.chart.BackBuffer();
    const ChartRect P = c.chart.GetPlottingRect();
    const int middle = P.bottom - P.Height() / 2, x = P.left + P.Width() / 2;
    EXPECT_TRUE(c.left->GetGrid()->Ticks().empty());
    EXPECT_EQ(serie->GetPointScreenCoord(0).y(), middle);
    EXPECT_TRUE(IsColor(img, x, middle + 3, serie->GetColor()) &&
                !IsColor(img, x, middle - 3, serie->GetColor()));
    // The label "5" beside the middle; no marks along the axis line.
    EXPECT_GT(PixelsOf(img, {3, middle - 8, P.left - 4, middle + 8}), 3);
    EXPECT_EQ(PixelsOf(img, {P.left - 3, P.top + 1, P.left - 1, P.bottom}), 0);
}

// Left of the range an area keeps its last segment (two points, two base corners) and is clipped
// away; one whose next point lies right of the range (zoomed) is filled to the right edge.
TEST(ChartSeries, SurfacesAreClippedAtTheEdgesOfTheRange) {
    TwoAxisChart c(300, 200, {100, 200});
    CChartSurfaceSerie* s = c.Surface({{0, 5}, {9, 5}, {10, 5}});
    const ChartRect P = c.chart.GetPlottingRect();
    ASSERT_EQ(s->SurfacePolygon().size(), 4u);
    EXPECT_LT(s->SurfacePolygon()[2].x(), P.left);
    EXPECT_EQ(
        PixelsOf(c.chart.BackBuffer(), {P.left, P.top, P.right + 1, P.bottom + 1}, s->GetColor()),
        0);
    c.bottom->SetMinMax(0, 10);
    const SChartXYPoint beyond[] = {{0, 5}, {4, 5}, {20, 5}};
    s->SetPoints(beyond, 3);
    const ChartRect Q = c.chart.GetPlottingRect();
    EXPECT_TRUE(IsColor(c.chart.BackBuffer(), Q.right - 3, Q.bottom - 5, s->GetColor()));
    EXPECT_TRUE(IsColor(c.chart.BackBuffer(), Q.left + 3, Q.bottom - 5, s->GetColor()));
}

// A replaced axis is taken from its series, which then draw nothing.
TEST(ChartSeries, AutomaticAxesFitTheSeriesAndAReplacedAxisLeavesThem) {
    TwoAxisChart c(300, 200);
    c.bottom->SetAutomaticMode(CChartAxis::FullAutomatic);
    c.left->SetAutomaticMode(CChartAxis::FullAutomatic);
    CChartSurfaceSerie* s = c.Surface({{2, 10}, {5, 30}});
    c.Surface({{-1, 20}, {3, 50}});
    EXPECT_EQ(std::pair(c.bottom->GetMin(), c.bottom->GetMax()), std::pair(-1.0, 5.0));
    EXPECT_EQ(std::pair(c.left->GetMin(), c.left->GetMax()), std::pair(10.0, 50.0));
    c.chart.CreateStandardAxis(LeftAxis);
    EXPECT_EQ(s->GetVerticalAxis(), nullptr);
    c.chart.RefreshCtrl();  // draws without the old axis
    EXPECT_TRUE(s->SurfacePolygon().empty());
}

TEST(ChartSeries, FillStylesSolidAndHatched) {
    TwoAxisChart c(300, 200);
    CChartSurfaceSerie* s = c.Surface({{0, 9}, {10, 9}});
    const ChartRect P = c.chart.GetPlottingRect();
    const ChartRect box{P.left + 20, P.bottom - 40, P.left + 60, P.bottom - 10};
    const int all = box.Width() * box.Height();
    for (int style = 0; style <= 6; ++style) {
        s->SetFillStyle(style);
        const int n = PixelsOf(c.chart.BackBuffer(), box, s->GetColor());
        EXPECT_TRUE(style == CChartSurfaceSerie::SolidFill ? n == all : n > all / 20 && n < all / 2)
            << style << ": " << n;
    }
}

struct CountingAxis : CChartStandardAxis {
    QString GetTickLabel(double value) const override {
        ++labels;
        return CChartStandardAxis::GetTickLabel(value);
    }
    mutable int labels = 0;
};

TEST(ChartAxisLimits, TheTickWalkStopsAtWhatCanBeDrawnAndNonFiniteLimitsKeepTheRange) {
    TwoAxisChart c(300, 200);
    auto owned = std::make_unique<CountingAxis>();
    CountingAxis* axis = owned.get();
    c.chart.AttachCustomAxis(std::move(owned), BottomAxis);
    axis->SetMinMax(0, 10);
    // An increment ten million times finer than the range: about 300 pixels can show at most
    // a tick each, so a redraw (margin, then drawing) asks for a few hundred labels at most.
    axis->SetAutomaticTicks(false);
    axis->SetTickIncrement(1e-6, 6);
    axis->labels = 0;
    c.chart.RefreshCtrl();
    EXPECT_GT(axis->labels, 0);
    EXPECT_LE(axis->labels, 3 * (300 + 2));

    // Infinite or NaN limits cannot be mapped to pixels: the previous range stays.
    for (const auto& [min, max] :
         {std::pair(0.0, HUGE_VAL), std::pair(0.0, std::nan("")), std::pair(-HUGE_VAL, 1.0)}) {
        axis->SetMinMax(min, max);
        EXPECT_EQ(std::pair(axis->GetMin(), axis->GetMax()), std::pair(0.0, 10.0)) << max;
    }
}

TEST(ChartLegend, ListsNamedVisibleSeriesAndTakesItsSide) {
    TwoAxisChart c(500, 300);
    CChartSurfaceSerie* named = c.Surface({});
    c.Surface({});  // no name: no row
    c.chart.GetLegend()->SetVisible(true);
    named->SetName(QStringLiteral("Traffic"));
    const ChartRect r = c.chart.GetLegend()->GetRect();
    EXPECT_EQ(r.right, 500 - 3 - 6);
    EXPECT_LT(r.Height(), 2 * 18 + 6);  // one row: at least 18 px each, plus 6
    EXPECT_LT(c.chart.GetPlottingRect().right, r.left);
    // Shadow below-right, white inside, the symbol in the series colour.
    const QImage img = c.chart.BackBuffer();
    EXPECT_TRUE(IsColor(img, r.right + 1, r.bottom + 1, kBlack));
    EXPECT_TRUE(IsColor(img, r.right - 3, r.top + 3, 0xFFFFFF));
    EXPECT_TRUE(IsColor(img, r.left + 10, r.top + 13, named->GetColor()));
}

}  // namespace
}  // namespace chart
