#include <gtest/gtest.h>

#include <QTest>

#include "ChartTestSupport.h"
#include "chart/CChartStandardAxis.h"

namespace chart {
namespace {

using namespace chart::testing;

// The dashboard's chart on screen, samples 10..50 in the last five points.
class ChartMouse : public ::testing::Test {
protected:
    void SetUp() override {
        f.chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.chart));
        f.Show({10, 20, 30, 40, 50});
        P = f.chart.GetPlottingRect();
    }
    QPoint Inside(double fx, double fy) const {
        return {P.left + static_cast<int>(P.Width() * fx),
                P.top + static_cast<int>(P.Height() * fy)};
    }
    void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
        QTest::mousePress(&f.chart, button, Qt::NoModifier, from);
        QTest::mouseMove(&f.chart, (from + to) / 2);
        QTest::mouseMove(&f.chart, to);
        QTest::mouseRelease(&f.chart, button, Qt::NoModifier, to);
    }
    CChartAxis* Axis(int pos) { return f.chart.GetAxis(pos); }
    std::vector<ValueRange> Ranges() {  // left, bottom, right, top
        std::vector<ValueRange> r;
        for (int pos = LeftAxis; pos <= TopAxis; ++pos)
            r.push_back({Axis(pos)->GetMin(), Axis(pos)->GetMax()});
        return r;
    }
    const std::vector<ValueRange> full = {{0, 100}, {0, 29}, {0, 100}, {0, 29}};
    RateChartFixture f;
    ChartRect P;
};

TEST(Zoom, NarrowerThanTheLimitYieldsExactlyTheLimit) {
    CChartStandardAxis axis;
    axis.SetMinMax(0, 29);
    axis.SetZoomMinMax(0.0, 0.0002);
    EXPECT_EQ(axis.GetMax() - axis.GetMin(), 0.001);
    axis.UndoZoom();
    EXPECT_EQ(axis.GetMax(), 29.0);
    axis.SetMinMax(5, 5);  // min == max cannot be zoomed
    axis.SetZoomMinMax(1, 2);
    EXPECT_EQ(axis.GetMin(), 5.0);
}

TEST_F(ChartMouse, DraggingDownRightZoomsEveryAxisAndUpLeftUndoes) {
    const QPoint a = Inside(0.25, 0.2), b = Inside(0.75, 0.6);
    // A click, or a band without height, changes nothing.
    QTest::mouseClick(&f.chart, Qt::LeftButton, Qt::NoModifier, a);
    Drag(Qt::LeftButton, a, a + QPoint(40, 0));
    EXPECT_EQ(Ranges(), full);
    const ValueRange x{Axis(BottomAxis)->ScreenToValue(a.x()),
                       Axis(BottomAxis)->ScreenToValue(b.x())};
    const ValueRange y{Axis(LeftAxis)->ScreenToValue(b.y()), Axis(LeftAxis)->ScreenToValue(a.y())};
    // While dragging, the rubber band is painted over the back buffer in white.
    QTest::mousePress(&f.chart, Qt::LeftButton, Qt::NoModifier, a);
    QTest::mouseMove(&f.chart, b);
    const QImage shot = f.chart.grab().toImage();
    const QRgb white = QColor(Qt::white).rgb();
    EXPECT_EQ(shot.pixel((a.x() + b.x()) / 2, a.y()), white);
    EXPECT_EQ(shot.pixel(a.x(), (a.y() + b.y()) / 2), white);
    EXPECT_NE(f.chart.BackBuffer().pixel((a.x() + b.x()) / 2, a.y()), white);
    QTest::mouseRelease(&f.chart, Qt::LeftButton, Qt::NoModifier, b);
    EXPECT_EQ(Ranges(), (std::vector<ValueRange>{y, x, y, x}));
    ASSERT_TRUE(x.min > 0 && x.max < 29);
    Drag(Qt::LeftButton, Inside(0.6, 0.6), Inside(0.3, 0.3));
    EXPECT_EQ(Ranges(), full);
    Axis(LeftAxis)->SetZoomEnabled(false);  // that axis keeps its range
    Drag(Qt::LeftButton, a, b);
    EXPECT_EQ(Ranges(), (std::vector<ValueRange>{full[0], x, y, x}));
}

TEST_F(ChartMouse, RightButtonPansWithThePointerUnlessDisabled) {
    // Dragging right lowers the horizontal range by the dragged distance; vertical stays.
    const double dx = 60 * 29.0 / (P.right - P.left);
    Drag(Qt::RightButton, Inside(0.5, 0.5), Inside(0.5, 0.5) + QPoint(60, 0));
    EXPECT_NEAR(Axis(BottomAxis)->GetMin(), -dx, 1e-9);
    EXPECT_NEAR(Axis(TopAxis)->GetMax(), 29 - dx, 1e-9);
    EXPECT_EQ(Axis(LeftAxis)->GetMin(), 0.0);
    // Dragging down raises the vertical range.
    Drag(Qt::RightButton, Inside(0.5, 0.3), Inside(0.5, 0.3) + QPoint(0, 30));
    EXPECT_GT(Axis(RightAxis)->GetMin(), 0.0);
    EXPECT_NEAR(Axis(LeftAxis)->GetMax() - Axis(LeftAxis)->GetMin(), 100.0, 1e-9);
    const std::vector<ValueRange> before = Ranges();
    f.chart.SetPanEnabled(false);
    Drag(Qt::RightButton, Inside(0.5, 0.5), Inside(0.8, 0.8));
    EXPECT_EQ(Ranges(), before);
}

}  // namespace
}  // namespace chart
