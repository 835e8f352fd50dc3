// Renders the dashboard's rate chart with a sample history into a PNG, for a look by eye:
//   rate_chart_demo <out.png> [en|zh] [width] [height] [page]
// With "page" the chart is drawn as printing lays it out: screen-sized logical units
// stretched over a 150-dpi A4 page.
#include <QApplication>
#include <QPainter>
#include <cmath>
#include <cstdio>

#include "chart/RateChart.h"

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("ratechart.png");
    const bool chinese = argc > 2 && QByteArray(argv[2]) == "zh";
    const int width = argc > 3 ? std::atoi(argv[3]) : 900;
    const int height = argc > 4 ? std::atoi(argv[4]) : 260;

    chart::CChartCtrl view;
    view.resize(width, height);
    const chart::RateChart rate =
        chart::SetUpRateChart(view,
                              chinese ? QStringLiteral("网络流速(字节数/秒)")
                                      : QStringLiteral("Network rate(Bytes/second)"),
                              chinese ? QStringLiteral("网络IO吞吐速率")
                                      : QStringLiteral("The network throughput rate of IO"));
    chart::RateHistory history;
    for (int i = 0; i < 30; ++i)
        history.Add(std::round(4000 + 3000 * std::sin(i / 4.0) + 150.0 * (i % 3)));
    chart::ApplyRateHistory(rate, history);
    QImage image = view.BackBuffer();
    if (argc > 5 && QByteArray(argv[5]) == "page") {
        const QSize page(1240, 1754);  // A4 at 150 dpi
        const chart::ChartSize logical{page.width() * 96 / 150 * 3 / 4,
                                       page.height() * 96 / 150 * 3 / 4};
        image = QImage(page, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setWindow(0, 0, logical.width, logical.height);
        p.setViewport(0, 0, page.width(), page.height());
        view.DrawChart(p, {0, 0, logical.width, logical.height});
    }
    if (!image.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
