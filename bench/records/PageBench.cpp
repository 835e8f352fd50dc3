// The Logs tab itself on the generated 1 000 000-row history: the fill through the page (model
// reset and the list view taking the new rows) next to the rows' fill alone, and a header
// click, on Qt's offscreen platform.
//   QT_QPA_PLATFORM=offscreen records_page_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "bench/records/HistoryGenerator.h"
#include "ui/common/RecordListView.h"
#include "ui/pages/tabs/CAlarmAndLogPages.h"

namespace {

DatabaseOptions Options() {
    return {bench::Db().path(), 0};
}

// The Logs tab shown at 1000 x 600 with the history's rows.
std::unique_ptr<CLogDlg> ShownPage() {
    auto page = std::make_unique<CLogDlg>(nullptr, Options());
    page->resize(1000, 600);
    page->show();
    QApplication::processEvents();
    return page;
}

void RowsFillAlone(benchmark::State& state) {
    RecordList<HistoryColumns> list;
    for (auto _ : state) FillFromDatabase(list, Options());
}

void PageFill(benchmark::State& state) {
    const auto page = ShownPage();
    for (auto _ : state) {
        page->Fill();
        QApplication::processEvents();  // the view lays the new rows out and paints
    }
    if (page->Model()->rowCount() != bench::kRows) state.SkipWithError("wrong row count");
}

void PageHeaderSort(benchmark::State& state) {
    const auto page = ShownPage();
    for (auto _ : state) {
        page->Model()->sort(static_cast<int>(state.range(0)));
        QApplication::processEvents();
    }
}

BENCHMARK(RowsFillAlone)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(PageFill)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(PageHeaderSort)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
