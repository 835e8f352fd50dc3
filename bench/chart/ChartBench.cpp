// One full redraw of the dashboard's rate chart at 1280 x 300, next to a bare QPainter drawing
// of the same surface polygon, frame and grid dashes into an image of the same size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>

#include "ui/pages/widgets/RateChart.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 300;

struct DashboardChart {
    chart::CChartCtrl view;
    dashboard::RateChart rate;
    dashboard::RateHistory history;

    DashboardChart() {
        view.resize(kWidth, kHeight);
        rate = dashboard::SetUpRateChart(view, QStringLiteral("Network rate(Bytes/second)"),
                                         QStringLiteral("The network throughput rate of IO"));
        for (int i = 0; i < 30; ++i) history.Add(4000 + 3000 * std::sin(i / 4.0));
        dashboard::ApplyRateHistory(rate, history);
    }
};

// Made after and destroyed before the application object, as widgets must be.
std::unique_ptr<DashboardChart> theChart;

DashboardChart& Chart() {
    if (!theChart) theChart = std::make_unique<DashboardChart>();
    return *theChart;
}

void BM_DashboardChartRedraw(benchmark::State& state) {
    DashboardChart& c = Chart();
    for (auto _ : state) {
        c.view.RefreshCtrl();
        benchmark::DoNotOptimize(c.view.BackBuffer().constBits());
    }
}
BENCHMARK(BM_DashboardChartRedraw)->Unit(benchmark::kMicrosecond);

void BM_BareQPainterSameShapes(benchmark::State& state) {
    DashboardChart& c = Chart();
    // The shapes the chart drew last: its polygon, frame and grid positions.
    const std::vector<QPoint> polygon = c.rate.series->SurfacePolygon();
    const chart::ChartRect P = c.view.GetPlottingRect();
    std::vector<int> columns, rows;
    for (int pos : {chart::BottomAxis, chart::TopAxis})
        for (int x : c.view.GetAxis(pos)->GetGrid()->Ticks()) columns.push_back(x);
    for (int pos : {chart::LeftAxis, chart::RightAxis})
        for (int y : c.view.GetAxis(pos)->GetGrid()->Ticks()) rows.push_back(y);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    const QColor grid(0x80, 0x80, 0x80), blue(0, 0, 205), face(240, 240, 240);
    for (auto _ : state) {
        QPainter p(&image);
        p.fillRect(image.rect(), face);
        p.save();
        p.setClipRect(P.left, P.top, P.Width(), P.Height());
        for (int x : columns)
            for (int y = P.bottom; y > P.top; y -= 6) p.fillRect(x, y - 2, 1, 3, grid);
        for (int y : rows)
            for (int x = P.left; x < P.right; x += 6) p.fillRect(x, y, 3, 1, grid);
        p.restore();
        p.setPen(Qt::black);
        p.drawRect(P.left, P.top, P.Width(), P.Height());
        p.save();
        p.setClipRect(P.left + 1, P.top + 1, P.Width() - 1, P.Height() - 1);
        p.setBrush(blue);
        p.drawPolygon(polygon.data(), static_cast<int>(polygon.size()));
        p.restore();
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_BareQPainterSameShapes)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theChart.reset();
    return 0;
}
