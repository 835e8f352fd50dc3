#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <functional>

#include "ChartTestSupport.h"
#include "chart/CChartBarSerie.h"

namespace chart {
namespace {

using namespace chart::testing;
constexpr ChartColor kBlack = 0x000000;

// The rate chart's points and scale follow its history: DashboardTest and RateHistoryTest.
// Samples 20..49 (the range stays 0..100) at 640 x 300: the surface, the frame, the grid.
TEST(RateChart, TheSurfaceFillsDownToTheFrameAndTheGridSpansIt) {
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
    CChartStandardAxis* left = c.rate.leftAxis;
    const std::vector<int>& ticks = left->GetGrid()->Ticks();
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(std::pair(ticks.front(), ticks.back()), std::pair(P.bottom, P.top));
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
    // With a title (drawn: the centring case) but without axes the frame keeps its place.
    chart.GetTitle()->AddString(kChartTitle);
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
// change (held-back redraws: the empty chart's case; every part asks through the one host).
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
        const int before = c.chart.RedrawCount();
        change();
        EXPECT_GT(c.chart.RedrawCount(), before) << part;
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

}  // namespace
}  // namespace chart

namespace chart {
namespace {

using namespace chart::testing;

// Negative bars hang below 0, bars stay inside the frame, and a bar of 0 draws nothing.
TEST(BarSeries, BarsStandOnZeroAtTheirWidthAndAreFoundUnderTheMouse) {
    TwoAxisChart c(400, 300, {0, 10}, {-5, 10});
    auto* bars = c.chart.AddSerie(std::make_unique<CChartBarSerie>(&c.chart));
    constexpr ChartColor kBar = 0x3C9A2E;
    bars->SetColor(kBar);
    bars->SetBarWidth(1);
    const std::vector<SChartXYPoint> points{{2, 5}, {5, 0}, {8, 12}, {9.5, -4}};
    bars->SetPoints(points.data(), static_cast<unsigned>(points.size()));
    const QImage img = c.chart.BackBuffer();
    const ChartRect P = c.chart.GetPlottingRect();
    const int zero = c.left->ValueToPixel(0);
    const auto inside = [&](double x, double y) {
        return QPoint(c.bottom->ValueToPixel(x), c.left->ValueToPixel(y));
    };
    // Filled inside, outlined black, nothing beside the bar's half-width.
    const QRect first = bars->BarRect(0);
    EXPECT_EQ(first, QRect(QPoint(c.bottom->ValueToPixel(1.5), c.left->ValueToPixel(5)),
                           QPoint(c.bottom->ValueToPixel(2.5) - 1, zero - 1)));
    EXPECT_EQ(
        PixelsOf(img, {first.left() + 1, first.top() + 1, first.right(), first.bottom()}, kBar),
        (first.width() - 2) * (first.height() - 2));
    EXPECT_TRUE(IsColor(img, first.left(), first.center().y(), 0x000000));
    EXPECT_FALSE(IsColor(img, c.bottom->ValueToPixel(2.7), inside(2, 3).y(), kBar));
    EXPECT_TRUE(bars->BarRect(1).isEmpty());
    EXPECT_EQ(PixelsOf(img, {inside(4.6, 0).x(), P.top, inside(5.4, 0).x(), P.bottom}, kBar), 0);
    // Cut at the frame's top; hanging from 0 down to -4.
    EXPECT_TRUE(IsColor(img, inside(8, 0).x(), P.top + 2, kBar));
    EXPECT_EQ(PixelsOf(img, {0, 0, 400, P.top + 1}, kBar), 0);
    EXPECT_TRUE(IsColor(img, inside(9.5, -2).x(), inside(9.5, -2).y(), kBar));
    EXPECT_FALSE(IsColor(img, inside(9.5, 2).x(), inside(9.5, 2).y(), kBar));
    int index = -1;
    EXPECT_TRUE(bars->IsPointOnSerie(inside(8.3, 4), index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(bars->IsPointOnSerie(inside(5, 0.5), index));
    EXPECT_EQ(index, -1);
}

}  // namespace
}  // namespace chart
