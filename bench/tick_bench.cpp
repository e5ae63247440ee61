// One polling tick with the repaint it causes, 127 channels on the offscreen platform, as a share of
// the 100 ms tick period.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>

#include "app/core/polling.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "bench/bench_application.h"
#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "channel/module_discovery.h"

namespace vz::bench {
namespace {

void pollingTickWithRepaint(benchmark::State& state) {
    benchApplication();
    BenchCrate crate(127);
    discoverModules();
    MainWindow window(true);
    window.resize(800, 2600);  // every line visible
    window.show();
    ChannelListView* view = window.channelList();
    QWidget* list = view->viewport();
    // Rendering into an image runs the same paint handler as the screen, on every platform. As in
    // the program, a tick repaints only the rows whose text changed.
    QImage target(list->size(), QImage::Format_RGB32);
    list->render(&target);
    const double start = processCpuSeconds();
    for (auto _ : state) {
        pollingTick();
        const QRegion changed = view->refresh();
        if (!changed.isEmpty()) list->render(&target, changed.boundingRect().topLeft(), changed);
    }
    const double perTick = (processCpuSeconds() - start) / static_cast<double>(state.iterations());
    reportMetric("tick_cpu_share", perTick / 0.100);
}
BENCHMARK(pollingTickWithRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vz::bench
