// One scan on the real main window widgets, offscreen: the frame's receive event rebuilds
// the grid and picture models, then both grids' Qt models are refreshed and the visible grid
// and the picture are painted.
#include "full_scans.hpp"
#include "qt/main_view.hpp"
#include "testkit/driver.hpp"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

void ensure_app() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "bench_status_qt";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

void scan_on_screen(benchmark::State& state, bool ya) {
    ensure_app();
    trx::testkit::Driver d;
    d.start();
    d.click("main.Toolbar1.comport");
    d.receive(trx::testkit::parameter_reply(ya));
    trx::ui::qt::MainView view(d.program().main_form());
    view.show();
    QApplication::processEvents();

    const std::string frame = trx::testkit::status_frame(full_scan(ya));
    auto* grid = view.data();
    auto* picture = view.picture();
    QImage grid_image(grid->size(), QImage::Format_ARGB32_Premultiplied);
    QImage picture_image(picture->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        d.receive(frame);
        grid->grid_model().refresh();
        view.data2()->grid_model().refresh();
        grid->render(&grid_image);
        picture->render(&picture_image);
    }
    if (grid->model()->index(0, 0).data().toString().isEmpty() ||
        d.program().main_form().map.lines().empty()) {
        state.SkipWithError("the scan was not shown");
    }
}

void BM_QtScanZa60(benchmark::State& state) {
    scan_on_screen(state, false);
}
void BM_QtScanYa48(benchmark::State& state) {
    scan_on_screen(state, true);
}

} // namespace

BENCHMARK(BM_QtScanZa60)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QtScanYa48)->Unit(benchmark::kMicrosecond);
