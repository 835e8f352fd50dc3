#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QResizeEvent>
#include <cmath>

#include "ChartTestSupport.h"
#include "chart/CChartCtrl.h"
#include "chart/CChartStandardAxis.h"
#include "chart/CChartSurfaceSerie.h"

namespace chart {
namespace {

using namespace chart::testing;
constexpr ChartColor kBlack = 0x000000;
constexpr ChartColor kGrid = 0x808080;

std::vector<double> Ramp() {
    std::vector<double> v;
    for (int i = 0; i < 30; ++i) v.push_back(20 + i);  // 20..49: the range stays 0..100
    return v;
}

TEST(RateChartSetUp, AxesTitlesAndSeriesAsTheDashboardWantsThem) {
    RateChartFixture f;
    CChartCtrl& c = f.chart;
    for (int pos : {BottomAxis, TopAxis}) {
        ASSERT_NE(c.GetAxis(pos), nullptr);
        EXPECT_EQ(c.GetAxis(pos)->GetMin(), 0.0);
        EXPECT_EQ(c.GetAxis(pos)->GetMax(), 29.0);
        EXPECT_TRUE(c.GetAxis(pos)->IsHorizontal());
    }
    for (int pos : {LeftAxis, RightAxis}) {
        EXPECT_EQ(c.GetAxis(pos)->GetMax(), 100.0);
        EXPECT_EQ(c.GetAxis(pos)->GetAutomaticMode(), CChartAxis::NotAutomatic);
    }
    EXPECT_EQ(f.rate.leftAxis, c.GetAxis(LeftAxis));
    EXPECT_EQ(f.rate.rightAxis, c.GetAxis(RightAxis));
    EXPECT_EQ(c.GetAxis(LeftAxis)->GetLabel()->GetText(), kAxisTitle);
    EXPECT_TRUE(c.GetAxis(RightAxis)->GetLabel()->GetText().isEmpty());
    ASSERT_EQ(c.GetTitle()->GetStringCount(), 1u);
    EXPECT_EQ(c.GetTitle()->GetString(0), kChartTitle);
    ASSERT_EQ(c.Series().size(), 1u);
    EXPECT_EQ(f.rate.series->GetColor(), 0xCD0000u);
    EXPECT_EQ(f.rate.series->GetFillStyle(), CChartSurfaceSerie::SolidFill);
    EXPECT_EQ(f.rate.series->GetName(), kAxisTitle);
    EXPECT_EQ(f.rate.series->GetVerticalAxis(), c.GetAxis(LeftAxis));
    EXPECT_EQ(f.rate.series->GetHorizontalAxis(), c.GetAxis(BottomAxis));
    // No samples yet: the 0..100 range is shown empty.
    EXPECT_EQ(f.rate.series->GetPointsCount(), 0u);
}

TEST(RateChartSetUp, ApplyingTheHistoryRescalesBothAxesAndStoresThirtyPoints) {
    RateChartFixture f;
    f.Show({50, 1000});
    EXPECT_DOUBLE_EQ(f.rate.leftAxis->GetMax(), 1100.0);
    EXPECT_DOUBLE_EQ(f.rate.rightAxis->GetMax(), 1100.0);
    ASSERT_EQ(f.rate.series->GetPointsCount(), 30u);
    EXPECT_EQ(f.rate.series->GetPoint(29).X, 29.0);
    EXPECT_EQ(f.rate.series->GetPoint(29).Y, 1000.0);
    EXPECT_EQ(f.rate.series->GetPoint(28).Y, 50.0);
    EXPECT_EQ(f.rate.series->GetPoint(0).Y, 0.0);
}

TEST(RateChartSetUp, EachSampleMovesTheCurveOneStepLeft) {
    RateChartFixture f;
    ShowRateSample(f.rate, f.history, 70);
    ShowRateSample(f.rate, f.history, 30);
    EXPECT_EQ(f.rate.series->GetPoint(29).Y, 30.0);
    EXPECT_EQ(f.rate.series->GetPoint(28).Y, 70.0);
    EXPECT_EQ(f.history.Samples()[28], 70.0);
    ShowRateSample(f.rate, f.history, 250);
    EXPECT_DOUBLE_EQ(f.rate.leftAxis->GetMax(), 275.0);
    EXPECT_EQ(f.rate.series->GetPoint(27).Y, 70.0);
}

TEST(RateChartRendering, SurfaceIsFilledFromTheCurveToTheFrameOnePixelInside) {
    RateChartFixture f;
    for (double s : Ramp()) f.history.Add(s);
    ApplyRateHistory(f.rate, f.history);
    const QImage img = f.chart.BackBuffer();
    ASSERT_EQ(img.size(), QSize(640, 300));
    const ChartRect P = f.chart.GetPlottingRect();
    ASSERT_GT(P.Width(), 300);
    ASSERT_GT(P.Height(), 100);
    const CChartAxis* bottom = f.chart.GetAxis(BottomAxis);
    const CChartAxis* left = f.chart.GetAxis(LeftAxis);
    const ChartColor blue = kRateSeriesColor;

    for (int i = 1; i < 29; ++i) {
        const int x = bottom->ValueToPixel(i);
        const int curve = left->ValueToPixel(f.history.Samples()[i]);
        for (int y = curve + 2; y < P.bottom; ++y)
            ASSERT_TRUE(IsColor(img, x, y, blue)) << "point " << i << " y " << y;
        EXPECT_FALSE(IsColor(img, x, curve - 3, blue)) << "above point " << i;
    }
    // The last row inside the frame is blue all along; frame pixels stay black.
    for (int x = P.left + 1; x < P.right; ++x) {
        ASSERT_TRUE(IsColor(img, x, P.bottom - 1, blue)) << x;
        ASSERT_TRUE(IsColor(img, x, P.bottom, kBlack)) << x;
    }
    for (int y = P.top; y <= P.bottom; ++y) {
        ASSERT_TRUE(IsColor(img, P.left, y, kBlack)) << y;
        ASSERT_TRUE(IsColor(img, P.right, y, kBlack)) << y;
    }
    // Nothing blue outside the frame.
    for (int x = 0; x < img.width(); ++x) EXPECT_FALSE(IsColor(img, x, P.bottom + 1, blue));
}

TEST(RateChartRendering, TickMarksAndGridDashesWhereTheAxesPutThem) {
    RateChartFixture f;
    for (double s : Ramp()) f.history.Add(s);
    ApplyRateHistory(f.rate, f.history);
    const QImage img = f.chart.BackBuffer();
    const ChartRect P = f.chart.GetPlottingRect();
    const ChartColor back = f.chart.GetBackColor();
    auto* left = static_cast<CChartStandardAxis*>(f.chart.GetAxis(LeftAxis));
    auto* bottom = static_cast<CChartStandardAxis*>(f.chart.GetAxis(BottomAxis));

    // Tick steps follow the axis lengths: a tick every 20 px at least, 1/2/5 x 10^e.
    EXPECT_GE(std::abs(left->ValueToScreen(left->GetTickIncrement()) - P.bottom), 20);
    EXPECT_GE(bottom->ValueToScreen(bottom->GetTickIncrement()) - P.left, 30);
    const std::vector<int>& leftTicks = left->GetGrid()->Ticks();
    ASSERT_FALSE(leftTicks.empty());
    EXPECT_EQ(leftTicks.front(), P.bottom);  // tick at 0
    EXPECT_EQ(leftTicks.back(), P.top);      // tick at max (inclusive)

    // Left axis: line at P.left-1, a 3-pixel mark at the tick of 80, grey dashes to the right.
    const int q = left->ValueToScreen(80);
    ASSERT_EQ(80 / left->GetTickIncrement(), std::floor(80 / left->GetTickIncrement()));
    for (int x : {P.left - 1, P.left - 2, P.left - 3}) EXPECT_TRUE(IsColor(img, x, q, kBlack)) << x;
    EXPECT_TRUE(IsColor(img, P.left - 4, q, back));
    for (int x : {P.left + 1, P.left + 2, P.left + 6, P.left + 7, P.left + 8})
        EXPECT_TRUE(IsColor(img, x, q, kGrid)) << x;
    for (int x : {P.left + 3, P.left + 4, P.left + 5, P.left + 9})
        EXPECT_TRUE(IsColor(img, x, q, back)) << x;
    // Right axis: the same tick, mark at P.right+1..+3.
    for (int x : {P.right + 1, P.right + 2, P.right + 3}) EXPECT_TRUE(IsColor(img, x, q, kBlack));

    // Bottom axis: line one pixel under the frame, mark below it at the tick of 10, grey
    // dashes rising from the frame (visible above the surface).
    const int t = bottom->ValueToScreen(10);
    for (int y : {P.bottom + 1, P.bottom + 2, P.bottom + 3})
        EXPECT_TRUE(IsColor(img, t, y, kBlack));
    EXPECT_TRUE(IsColor(img, t + 1, P.bottom + 2, back));
    const int curve = f.chart.GetAxis(LeftAxis)->ValueToPixel(40);
    int checked = 0;
    for (int y = P.bottom; y - 5 > P.top; y -= 6) {
        if (y > curve - 8) continue;  // under the surface
        EXPECT_TRUE(IsColor(img, t, y - 1, kGrid)) << y;
        EXPECT_TRUE(IsColor(img, t, y - 2, kGrid)) << y;
        if (y - 4 != q) {
            EXPECT_TRUE(IsColor(img, t, y - 4, back)) << y;
        }
        ++checked;
    }
    EXPECT_GT(checked, 5);
}

TEST(ChartRendering, EmptyChartDrawsBackgroundEdgeTitleAndFrame) {
    CChartCtrl chart;
    chart.resize(300, 200);
    chart.RefreshCtrl();
    const QImage bare = chart.BackBuffer();
    EXPECT_EQ(chart.GetPlottingRect(), (ChartRect{3, 3, 297, 197}));
    EXPECT_TRUE(IsColor(bare, 3, 100, kBlack));
    EXPECT_TRUE(IsColor(bare, 297, 100, kBlack));
    EXPECT_TRUE(IsColor(bare, 150, 3, kBlack));
    EXPECT_TRUE(IsColor(bare, 150, 197, kBlack));
    EXPECT_TRUE(IsColor(bare, 150, 100, chart.GetBackColor()));
    EXPECT_TRUE(IsColor(bare, 2, 100, chart.GetBackColor()));
    // The raised edge: light outer border top-left, darkest shadow bottom-right.
    const QPalette pal = QGuiApplication::palette();
    EXPECT_EQ(bare.pixelColor(0, 50).rgb(), pal.color(QPalette::Midlight).rgb());
    EXPECT_EQ(bare.pixelColor(299, 50).rgb(), pal.color(QPalette::Shadow).rgb());
    EXPECT_EQ(bare.pixelColor(1, 50).rgb(), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(bare.pixelColor(298, 50).rgb(), pal.color(QPalette::Dark).rgb());

    // The title takes a band at the top; without axes nothing shrinks the frame.
    chart.GetTitle()->AddString(kChartTitle);
    const QImage titled = chart.BackBuffer();
    const ChartRect titleRect = chart.GetTitle()->GetRect();
    EXPECT_EQ(chart.GetPlottingRect(), (ChartRect{3, 3, 297, 197}));
    EXPECT_EQ(titleRect.left, 3);
    EXPECT_EQ(titleRect.right, 297);
    EXPECT_GT(titleRect.bottom, 3 + 10);
    EXPECT_GT(DarkPixelsIn(titled, {4, 4, 296, titleRect.bottom}), 20);
    EXPECT_EQ(DarkPixelsIn(bare, {4, 4, 296, titleRect.bottom}), 0);
    EXPECT_TRUE(IsColor(titled, 150, 3, kBlack));
    EXPECT_TRUE(IsColor(titled, 150, 197, kBlack));
}

TEST(ChartRendering, EqualBoundsPutLabelAndPointsInTheMiddleWithoutTicks) {
    CChartCtrl chart;
    chart.resize(400, 300);
    CChartStandardAxis* left = chart.CreateStandardAxis(LeftAxis);
    left->SetMinMax(5, 5);
    chart.CreateStandardAxis(BottomAxis)->SetMinMax(0, 10);
    auto* serie = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    serie->SetFillStyle(CChartSurfaceSerie::SolidFill);
    const SChartXYPoint points[] = {{0, 5}, {10, 5}};
    serie->SetPoints(points, 2);
    const QImage img = chart.BackBuffer();
    const ChartRect P = chart.GetPlottingRect();
    const int middle = AxisMiddle(left->Span());
    EXPECT_EQ(middle, P.bottom - P.Height() / 2);
    EXPECT_TRUE(left->GetGrid()->Ticks().empty());
    EXPECT_EQ(serie->GetPointScreenCoord(0).y(), middle);
    EXPECT_TRUE(IsColor(img, P.left + P.Width() / 2, middle + 3, serie->GetColor()));
    EXPECT_FALSE(IsColor(img, P.left + P.Width() / 2, middle - 3, serie->GetColor()));
    // The label "5" next to the middle; no marks along the axis line.
    EXPECT_GT(DarkPixelsIn(img, {3, middle - 8, P.left - 4, middle + 8}), 3);
    EXPECT_EQ(DarkPixelsIn(img, {P.left - 3, P.top + 1, P.left - 1, P.bottom}), 0);
}

TEST(ChartRendering, GradientBackgrounds) {
    CChartCtrl chart;
    chart.resize(200, 100);
    const ChartColor red = MakeChartColor(255, 0, 0), blue = MakeChartColor(0, 0, 255);
    struct Case {
        int type;
        QPoint first, middle;
    };
    for (const Case& c : {Case{0, {5, 50}, {195, 50}}, Case{1, {100, 5}, {100, 95}},
                          Case{2, {5, 50}, {100, 50}}, Case{3, {100, 5}, {100, 50}}}) {
        chart.SetBackGradient(red, blue, c.type);
        const QImage img = chart.BackBuffer();
        EXPECT_GT(img.pixelColor(c.first).red(), 200) << c.type;
        EXPECT_GT(img.pixelColor(c.middle).blue(), 200) << c.type;
    }
    // Types 2 and 3 come back to the first colour at the far side.
    chart.SetBackGradient(red, blue, 2);
    EXPECT_GT(chart.BackBuffer().pixelColor(195, 50).red(), 200);
}

TEST(ChartRendering, ResizeRecreatesTheBackBufferAtTheNewSize) {
    RateChartFixture f(400, 200);
    f.Show({30, 60});
    EXPECT_EQ(f.chart.BackBuffer().size(), QSize(400, 200));
    f.chart.resize(500, 250);
    QResizeEvent resize(QSize(500, 250), QSize(400, 200));
    QApplication::sendEvent(&f.chart, &resize);
    EXPECT_EQ(f.chart.BackBuffer().size(), QSize(500, 250));
    const ChartRect P = f.chart.GetPlottingRect();
    EXPECT_GT(P.right, 400);
    EXPECT_TRUE(IsColor(f.chart.BackBuffer(), P.right, (P.top + P.bottom) / 2, kBlack));
}

TEST(ChartRefresh, DeferredRefreshRunsOnceWhenTheCounterComesBackToOne) {
    CChartCtrl chart;
    chart.resize(200, 100);
    chart.RefreshCtrl();
    const int before = chart.RedrawCount();
    chart.EnableRefresh(false);
    chart.EnableRefresh(false);
    chart.RefreshCtrl();
    chart.RefreshCtrl();
    EXPECT_EQ(chart.RedrawCount(), before);
    EXPECT_TRUE(chart.IsRefreshPending());
    chart.EnableRefresh(true);  // counter 0
    EXPECT_EQ(chart.RedrawCount(), before);
    chart.EnableRefresh(true);  // counter 1: the pending refresh runs once
    EXPECT_EQ(chart.RedrawCount(), before + 1);
    EXPECT_FALSE(chart.IsRefreshPending());
    chart.EnableRefresh(true);  // counter 2: nothing pending
    EXPECT_EQ(chart.RedrawCount(), before + 1);
}

TEST(ChartRefresh, ApplyingTheHistoryCostsOneRedraw) {
    RateChartFixture f;
    const int before = f.chart.RedrawCount();
    f.Show({42});
    EXPECT_EQ(f.chart.RedrawCount(), before + 1);
}

TEST(ChartSeries, PaletteWrapsAfterTenSeriesAndIdsOrderDrawing) {
    CChartCtrl chart;
    chart.resize(200, 100);
    chart.CreateStandardAxis(LeftAxis);
    chart.CreateStandardAxis(BottomAxis);
    std::vector<CChartSurfaceSerie*> added;
    for (int i = 0; i < 11; ++i)
        added.push_back(chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart)));
    EXPECT_EQ(added[0]->GetColor(), 0x0000FFu);
    EXPECT_EQ(added[2]->GetColor(), 0xFF0000u);
    EXPECT_EQ(added[9]->GetColor(), 0x808040u);
    EXPECT_EQ(added[10]->GetColor(), 0x0000FFu);
    for (int i = 1; i < 11; ++i) EXPECT_EQ(added[i]->GetSerieId(), added[i - 1]->GetSerieId() + 1);
    EXPECT_EQ(chart.GetAxis(LeftAxis)->Series().size(), 11u);
}

TEST(ChartSeries, LaterSeriesIsDrawnOverTheEarlierOne) {
    CChartCtrl chart;
    chart.resize(300, 200);
    chart.CreateStandardAxis(LeftAxis)->SetMinMax(0, 10);
    chart.CreateStandardAxis(BottomAxis)->SetMinMax(0, 10);
    const SChartXYPoint pts[] = {{0, 8}, {10, 8}};
    for (ChartColor c : {0x00FF00u, 0xFF00FFu}) {
        auto* s = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
        s->SetFillStyle(CChartSurfaceSerie::SolidFill);
        s->SetColor(c);
        s->SetPoints(pts, 2);
    }
    const ChartRect P = chart.GetPlottingRect();
    EXPECT_TRUE(IsColor(chart.BackBuffer(), (P.left + P.right) / 2, P.bottom - 5, 0xFF00FF));
}

TEST(ChartSeries, SurfaceLeftOfTheRangeKeepsItsLastSegmentAndIsClippedAway) {
    CChartCtrl chart;
    chart.resize(300, 200);
    chart.CreateStandardAxis(LeftAxis)->SetMinMax(0, 10);
    chart.CreateStandardAxis(BottomAxis)->SetMinMax(100, 200);
    auto* s = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    s->SetFillStyle(CChartSurfaceSerie::SolidFill);
    std::vector<SChartXYPoint> pts;
    for (int i = 0; i <= 10; ++i) pts.push_back({static_cast<double>(i), 5.0});
    s->SetPoints(pts.data(), static_cast<unsigned>(pts.size()));
    // The two points nearest the range (9 and 10) plus the two base corners.
    const std::vector<QPoint> polygon = s->SurfacePolygon();
    ASSERT_EQ(polygon.size(), 4u);
    EXPECT_LT(polygon[2].x(), chart.GetPlottingRect().left);
    const ChartRect P = chart.GetPlottingRect();
    int colored = 0;
    for (int y = P.top; y <= P.bottom; ++y)
        for (int x = P.left; x <= P.right; ++x)
            colored += IsColor(chart.BackBuffer(), x, y, s->GetColor());
    EXPECT_EQ(colored, 0);
}

TEST(ChartAxis, DiscreteLabelsStartHalfAnIntervalBeforeTheFirstTick) {
    CChartCtrl chart;
    chart.resize(400, 200);
    CChartStandardAxis* bottom = chart.CreateStandardAxis(BottomAxis);
    bottom->SetMinMax(0, 10);
    bottom->SetDiscrete(true);
    const double inc = bottom->GetTickIncrement();
    ASSERT_GT(inc, 0.0);
    EXPECT_EQ(bottom->GetFirstTickValue(), bottom->GetFirstTick() - inc);
    // Labels between ticks: the label of 0 sits mid-way between the ticks of 0 and inc.
    const int mid = (bottom->ValueToScreen(0) + bottom->ValueToScreen(inc)) / 2;
    EXPECT_NEAR(bottom->ValueToPixel(0), mid, 1);
    EXPECT_NEAR(bottom->ValueToPixel(inc * 0.99), mid, 1);
}

TEST(ChartSeries, StoreGrowsToExactlyTheCountAndIsReused) {
    CChartCtrl chart;
    CChartSurfaceSerie serie(&chart);
    EXPECT_EQ(serie.GetCapacity(), 1000u);
    std::vector<SChartXYPoint> many(1500);
    for (size_t i = 0; i < many.size(); ++i) many[i] = {static_cast<double>(1500 - i), 1.0 * i};
    serie.SetPoints(many.data(), 1500);
    EXPECT_EQ(serie.GetCapacity(), 1500u);
    // Sorted by X.
    EXPECT_EQ(serie.GetPoint(0).X, 1.0);
    EXPECT_EQ(serie.GetPoint(1499).X, 1500.0);
    double lo, hi;
    ASSERT_TRUE(serie.GetSerieYMinMax(lo, hi));
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 1499.0);
    serie.SetPoints(many.data(), 10);
    EXPECT_EQ(serie.GetCapacity(), 1500u);
    EXPECT_EQ(serie.GetPointsCount(), 10u);
    serie.SetVisible(false);
    EXPECT_FALSE(serie.GetSerieYMinMax(lo, hi));
}

TEST(ChartSeries, FullAutomaticAxesFitTheUnionOfTheSeries) {
    CChartCtrl chart;
    chart.resize(300, 200);
    CChartAxis* left = chart.CreateStandardAxis(LeftAxis);
    CChartAxis* bottom = chart.CreateStandardAxis(BottomAxis);
    bottom->SetAutomaticMode(CChartAxis::FullAutomatic);
    left->SetAutomaticMode(CChartAxis::FullAutomatic);
    auto* a = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    auto* b = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    const SChartXYPoint pa[] = {{2, 10}, {5, 30}};
    const SChartXYPoint pb[] = {{-1, 20}, {3, 50}};
    a->SetPoints(pa, 2);
    b->SetPoints(pb, 2);
    EXPECT_EQ(bottom->GetMin(), -1.0);
    EXPECT_EQ(bottom->GetMax(), 5.0);
    EXPECT_EQ(left->GetMin(), 10.0);
    EXPECT_EQ(left->GetMax(), 50.0);
}

TEST(ChartSeries, ScreenAutomaticFitsThePointsVisibleOnTheOtherAxis) {
    CChartCtrl chart;
    chart.resize(300, 200);
    CChartAxis* left = chart.CreateStandardAxis(LeftAxis);
    CChartAxis* bottom = chart.CreateStandardAxis(BottomAxis);
    bottom->SetMinMax(10, 20);
    auto* s = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    std::vector<SChartXYPoint> pts;
    for (int i = 0; i < 30; ++i) pts.push_back({static_cast<double>(i), i * 10.0});
    s->SetPoints(pts.data(), static_cast<unsigned>(pts.size()));
    left->SetAutomaticMode(CChartAxis::ScreenAutomatic);
    // The points from about X = 10 to X = 20: the search ends next to each boundary, so a
    // boundary point may be in or out by one.
    EXPECT_GE(left->GetMin(), 90.0);
    EXPECT_LE(left->GetMin(), 110.0);
    EXPECT_GE(left->GetMax(), 200.0);
    EXPECT_LE(left->GetMax(), 210.0);
}

TEST(ChartSeries, FillStylesSolidAndHatched) {
    CChartCtrl chart;
    chart.resize(300, 200);
    chart.CreateStandardAxis(LeftAxis)->SetMinMax(0, 10);
    chart.CreateStandardAxis(BottomAxis)->SetMinMax(0, 10);
    auto* s = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    const SChartXYPoint pts[] = {{0, 9}, {10, 9}};
    s->SetPoints(pts, 2);
    for (int style = 0; style <= 6; ++style) {
        s->SetFillStyle(style);
        const ChartRect P = chart.GetPlottingRect();
        const ChartRect box{P.left + 20, P.bottom - 40, P.left + 60, P.bottom - 10};
        int colored = 0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                colored += IsColor(chart.BackBuffer(), x, y, s->GetColor());
        const int total = box.Width() * box.Height();
        if (style == CChartSurfaceSerie::SolidFill) {
            EXPECT_EQ(colored, total);
        } else {
            EXPECT_GT(colored, total / 20) << style;
            EXPECT_LT(colored, total / 2) << style;
        }
    }
}

TEST(ChartSeries, ReplacingAnAxisLeavesTheSeriesWithoutIt) {
    CChartCtrl chart;
    chart.resize(300, 200);
    chart.CreateStandardAxis(LeftAxis);
    chart.CreateStandardAxis(BottomAxis);
    auto* s = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    const SChartXYPoint pts[] = {{0, 1}, {1, 2}};
    s->SetPoints(pts, 2);
    chart.CreateStandardAxis(LeftAxis);
    EXPECT_EQ(s->GetVerticalAxis(), nullptr);
    chart.RefreshCtrl();  // draws without the old axis
    EXPECT_TRUE(s->SurfacePolygon().empty());
}

TEST(ChartLegend, ListsNamedVisibleSeriesAndTakesItsSide) {
    CChartCtrl chart;
    chart.resize(500, 300);
    chart.CreateStandardAxis(LeftAxis);
    chart.CreateStandardAxis(BottomAxis);
    auto* named = chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));
    chart.AddSerie(std::make_unique<CChartSurfaceSerie>(&chart));  // no name: no row
    chart.GetLegend()->SetVisible(true);
    EXPECT_TRUE(chart.GetLegend()->GetRect().IsEmpty());
    const int wideRight = chart.GetPlottingRect().right;
    named->SetFillStyle(CChartSurfaceSerie::SolidFill);
    named->SetName(QStringLiteral("Traffic"));
    const ChartRect legend = chart.GetLegend()->GetRect();
    ASSERT_FALSE(legend.IsEmpty());
    EXPECT_EQ(legend.right, 500 - 3 - 6);
    EXPECT_LT(chart.GetPlottingRect().right, wideRight);
    EXPECT_LT(chart.GetPlottingRect().right, legend.left);
    // Shadow below-right, white inside, the symbol in the series colour.
    const QImage img = chart.BackBuffer();
    EXPECT_TRUE(IsColor(img, legend.right + 1, legend.bottom + 1, kBlack));
    EXPECT_TRUE(IsColor(img, legend.left + 10, legend.top + 13, named->GetColor()));
    EXPECT_TRUE(IsColor(img, legend.right - 3, legend.top + 3, 0xFFFFFF));
}

}  // namespace
}  // namespace chart
