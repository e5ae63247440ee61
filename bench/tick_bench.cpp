// One polling tick with the repaint of 127 channels on the offscreen platform, as a share of the
// 100 ms tick period.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>

#include "app/core/polling.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "channel/module_discovery.h"

namespace vz::bench {
namespace {

void pollingTickWithRepaint(benchmark::State& state) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "vzbench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    BenchCrate crate(127);
    discoverModules();
    MainWindow window(true);
    window.resize(800, 2600);  // every line visible
    window.show();
    QWidget* list = window.channelList()->viewport();
    // Rendering into an image runs the same paint handler as the screen, on every platform.
    QImage target(list->size(), QImage::Format_RGB32);
    const double start = processCpuSeconds();
    for (auto _ : state) {
        pollingTick();
        list->render(&target);
    }
    const double perTick = (processCpuSeconds() - start) / static_cast<double>(state.iterations());
    reportMetric("tick_cpu_share", perTick / 0.100);
}
BENCHMARK(pollingTickWithRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vz::bench
