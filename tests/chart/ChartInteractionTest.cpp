#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "ChartTestSupport.h"
#include "chart/CChartCtrl.h"
#include "chart/CChartScrollBar.h"

namespace chart {
namespace {

using namespace chart::testing;

struct Range {
    double min, max;
};
Range RangeOf(const CChartAxis* a) {
    return {a->GetMin(), a->GetMax()};
}

class ChartMouse : public ::testing::Test {
protected:
    void SetUp() override {
        f.chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.chart));
        f.Show({10, 20, 30, 40, 50});
        P = f.chart.GetPlottingRect();
    }
    QPoint Inside(double fx, double fy) const {
        return QPoint(P.left + static_cast<int>(P.Width() * fx),
                      P.top + static_cast<int>(P.Height() * fy));
    }
    void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
        QTest::mousePress(&f.chart, button, Qt::NoModifier, from);
        QTest::mouseMove(&f.chart, (from + to) / 2);
        QTest::mouseMove(&f.chart, to);
        QTest::mouseRelease(&f.chart, button, Qt::NoModifier, to);
    }
    CChartAxis* Axis(int pos) { return f.chart.GetAxis(pos); }

    RateChartFixture f;
    ChartRect P;
};

TEST_F(ChartMouse, DraggingRightAndDownZoomsEveryAxisToTheBand) {
    const QPoint a = Inside(0.25, 0.2), b = Inside(0.75, 0.6);
    const double x0 = Axis(BottomAxis)->ScreenToValue(a.x());
    const double x1 = Axis(BottomAxis)->ScreenToValue(b.x());
    const double y0 = Axis(LeftAxis)->ScreenToValue(b.y());
    const double y1 = Axis(LeftAxis)->ScreenToValue(a.y());
    Drag(Qt::LeftButton, a, b);
    EXPECT_DOUBLE_EQ(Axis(BottomAxis)->GetMin(), x0);
    EXPECT_DOUBLE_EQ(Axis(BottomAxis)->GetMax(), x1);
    EXPECT_DOUBLE_EQ(Axis(TopAxis)->GetMin(), x0);
    EXPECT_DOUBLE_EQ(Axis(LeftAxis)->GetMin(), y0);
    EXPECT_DOUBLE_EQ(Axis(LeftAxis)->GetMax(), y1);
    EXPECT_DOUBLE_EQ(Axis(RightAxis)->GetMax(), y1);
    EXPECT_GT(x0, 0.0);
    EXPECT_LT(x1, 29.0);
    // The unzoomed range is kept for undo.
    EXPECT_EQ(Axis(BottomAxis)->GetUnzoomedRange().max, 29.0);

    // Dragging up and to the left undoes the zoom on every axis.
    Drag(Qt::LeftButton, Inside(0.6, 0.6), Inside(0.3, 0.3));
    for (int pos : {LeftAxis, BottomAxis, RightAxis, TopAxis}) {
        EXPECT_EQ(Axis(pos)->GetMin(), 0.0) << pos;
        EXPECT_EQ(Axis(pos)->GetMax(), IsHorizontalPosition(pos) ? 29.0 : 100.0) << pos;
    }
}

TEST_F(ChartMouse, ClickWithoutMovementOrFlatBandChangesNothing) {
    const QPoint a = Inside(0.5, 0.5);
    QTest::mouseClick(&f.chart, Qt::LeftButton, Qt::NoModifier, a);
    Drag(Qt::LeftButton, a, a + QPoint(40, 0));  // zero height
    EXPECT_EQ(Axis(BottomAxis)->GetMax(), 29.0);
    EXPECT_EQ(Axis(LeftAxis)->GetMax(), 100.0);
}

TEST_F(ChartMouse, RubberBandIsPaintedWhileDragging) {
    const QPoint a = Inside(0.2, 0.2), b = Inside(0.6, 0.7);
    QTest::mousePress(&f.chart, Qt::LeftButton, Qt::NoModifier, a);
    QTest::mouseMove(&f.chart, b);
    const QImage shot = f.chart.grab().toImage();
    QTest::mouseRelease(&f.chart, Qt::LeftButton, Qt::NoModifier, b);
    EXPECT_EQ(shot.pixelColor((a.x() + b.x()) / 2, a.y()).rgb(), QColor(Qt::white).rgb());
    EXPECT_EQ(shot.pixelColor(a.x(), (a.y() + b.y()) / 2).rgb(), QColor(Qt::white).rgb());
    EXPECT_NE(f.chart.BackBuffer().pixelColor((a.x() + b.x()) / 2, a.y()).rgb(),
              QColor(Qt::white).rgb());
}

TEST_F(ChartMouse, RightButtonPansWithThePointer) {
    const Range before = RangeOf(Axis(BottomAxis));
    const Range leftBefore = RangeOf(Axis(LeftAxis));
    const double perPixel = 29.0 / (P.right - P.left);
    Drag(Qt::RightButton, Inside(0.5, 0.5), Inside(0.5, 0.5) + QPoint(60, 0));
    const Range after = RangeOf(Axis(BottomAxis));
    // Dragging to the right lowers the horizontal range by the dragged distance.
    EXPECT_NEAR(after.min, before.min - 60 * perPixel, 1e-9);
    EXPECT_NEAR(after.max - after.min, 29.0, 1e-9);
    EXPECT_DOUBLE_EQ(Axis(LeftAxis)->GetMin(), leftBefore.min);

    // Dragging down raises the vertical range.
    Drag(Qt::RightButton, Inside(0.5, 0.3), Inside(0.5, 0.3) + QPoint(0, 30));
    EXPECT_GT(Axis(LeftAxis)->GetMin(), 0.0);
    EXPECT_NEAR(Axis(LeftAxis)->GetMax() - Axis(LeftAxis)->GetMin(), 100.0, 1e-9);
}

TEST_F(ChartMouse, ZoomAndPanRespectDisabledAxesAndSwitches) {
    Axis(LeftAxis)->SetZoomEnabled(false);
    Drag(Qt::LeftButton, Inside(0.2, 0.2), Inside(0.7, 0.7));
    EXPECT_EQ(Axis(LeftAxis)->GetMax(), 100.0);
    EXPECT_LT(Axis(BottomAxis)->GetMax(), 29.0);
    f.chart.UndoZoom();
    f.chart.SetPanEnabled(false);
    Drag(Qt::RightButton, Inside(0.5, 0.5), Inside(0.8, 0.5));
    EXPECT_EQ(Axis(BottomAxis)->GetMin(), 0.0);
}

class RecordingListener : public CChartMouseListener {
public:
    void OnMouseEventTitle(ChartMouseEvent e, const QPoint&) override { title.push_back(e); }
    void OnMouseEventAxis(ChartMouseEvent e, const QPoint&, CChartAxis* a) override {
        axes.push_back(a);
        (void)e;
    }
    void OnMouseEventPlotArea(ChartMouseEvent e, const QPoint&) override { plot.push_back(e); }
    std::vector<ChartMouseEvent> title, plot;
    std::vector<CChartAxis*> axes;
};

TEST_F(ChartMouse, ListenerHearsWhereEventsHappen) {
    RecordingListener listener;
    f.chart.SetMouseListener(&listener);
    QTest::mouseClick(&f.chart, Qt::RightButton, Qt::NoModifier, Inside(0.5, 0.5));
    EXPECT_EQ(listener.plot, (std::vector<ChartMouseEvent>{RButtonDown, RButtonUp}));
    const ChartRect titleRect = f.chart.GetTitle()->GetRect();
    QTest::mouseClick(&f.chart, Qt::RightButton, Qt::NoModifier,
                      QPoint((titleRect.left + titleRect.right) / 2, titleRect.top + 2));
    EXPECT_EQ(listener.title.size(), 2u);
    QTest::mouseClick(&f.chart, Qt::RightButton, Qt::NoModifier,
                      QPoint(P.left - 5, (P.top + P.bottom) / 2));
    ASSERT_FALSE(listener.axes.empty());
    EXPECT_EQ(listener.axes.front(), Axis(LeftAxis));
    f.chart.SetMouseListener(nullptr);
}

class SeriesHits : public CChartSeriesMouseListener<SChartXYPoint> {
public:
    void OnMouseEventSeries(ChartMouseEvent e, const QPoint&, CChartSerieBase<SChartXYPoint>*,
                            int index) override {
        hits.push_back({e, index});
    }
    std::vector<std::pair<ChartMouseEvent, int>> hits;
};

TEST_F(ChartMouse, SeriesHearsClicksOnItsSurfaceOnly) {
    SeriesHits listener;
    f.rate.series->SetMouseListener(&listener);
    // Point 29 holds 50 of 100: its vertex is halfway up; below it is the surface.
    const QPoint vertex = f.rate.series->GetPointScreenCoord(29);
    const QPoint onSurface(vertex.x() - 2, vertex.y() + 3);
    QTest::mouseClick(&f.chart, Qt::RightButton, Qt::NoModifier, onSurface);
    ASSERT_EQ(listener.hits.size(), 2u);
    EXPECT_EQ(listener.hits[0], std::make_pair(RButtonDown, 29));
    const QPoint farBelow = f.rate.series->GetPointScreenCoord(15) + QPoint(0, 5);
    QTest::mouseClick(&f.chart, Qt::RightButton, Qt::NoModifier, farBelow);
    EXPECT_EQ(listener.hits.size(), 2u);  // point 15 is 0: nothing under the curve there
    const QPoint above(vertex.x() - 2, P.top + 5);
    QTest::mouseClick(&f.chart, Qt::RightButton, Qt::NoModifier, above);
    EXPECT_EQ(listener.hits.size(), 2u);
    // Moves are not reported unless asked for.
    QTest::mouseMove(&f.chart, onSurface + QPoint(0, 1));
    EXPECT_EQ(listener.hits.size(), 2u);
    f.rate.series->SetMouseListener(nullptr);
}

TEST_F(ChartMouse, ScrollBarsStayHiddenAndScrollMovesTheAxisByTenthsOfTheSpan) {
    CChartScrollBar* bar = Axis(BottomAxis)->GetScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());
    QTest::mouseMove(&f.chart, Inside(0.5, 0.95));
    EXPECT_FALSE(bar->isVisible());
    // Zoomed to a third of the points, the bar has steps to move through.
    Axis(BottomAxis)->SetZoomMinMax(0, 9.5);
    Axis(BottomAxis)->RefreshScrollBar();
    const CChartScrollBar::Info info = bar->GetScrollInfo();
    EXPECT_EQ(info.max, 31 - 1);  // ceil(29 / 0.95) steps
    EXPECT_EQ(info.pos, 0);
    f.chart.OnScroll(bar, ScrollRequest::LineDown, 0);
    EXPECT_EQ(bar->GetScrollInfo().pos, 1);
    EXPECT_NEAR(Axis(BottomAxis)->GetMin(), 0.95, 1e-9);
    EXPECT_NEAR(Axis(BottomAxis)->GetMax(), 10.45, 1e-9);
    f.chart.OnScroll(bar, ScrollRequest::LineUp, 0);
    EXPECT_NEAR(Axis(BottomAxis)->GetMin(), 0.0, 1e-9);
}

TEST(ChartPrint, PrintsOnePagePdfWithoutTheDialog) {
    RateChartFixture f;
    f.Show({100, 300, 200});
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("chart.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    const ChartRect screenPlot = f.chart.GetPlottingRect();
    const int redraws = f.chart.RedrawCount();
    ASSERT_TRUE(f.chart.Print(QStringLiteral("Rate chart"), &printer));
    // Printing ends with a refresh, which puts the screen layout back.
    EXPECT_EQ(f.chart.GetPlottingRect(), screenPlot);
    EXPECT_EQ(f.chart.RedrawCount(), redraws + 1);

    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    EXPECT_EQ(QString::fromLatin1(bytes).count(page), 1);
    EXPECT_TRUE(bytes.contains("/Title"));
}

}  // namespace
}  // namespace chart
