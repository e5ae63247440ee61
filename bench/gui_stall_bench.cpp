// The longest time the GUI thread stays away from its event loop while the program runs a trace
// (mode 3, then mode 1) on a crate at line rate in real time, with the polling timer running: a
// zero-interval watchdog timer on the GUI thread notes the gaps between its turns.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "app/core/polling.h"
#include "app/gui/main_window.h"
#include "app/gui/polling_timer.h"
#include "bench/bench_application.h"
#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "channel/channel_table.h"
#include "trace/gui/graph_commands.h"

namespace vz::bench {
namespace {

void guiStallDuringTrace(benchmark::State& state) {
    benchApplication();
    BenchCrate crate(4, true);
    // The modules as the search would have found them (a search of 127 addresses at line rate
    // would take most of a minute and is not what is measured here).
    for (int i = 0; i < 4; ++i) {
        QOR& q = channelTable.channels[static_cast<std::size_t>(i)];
        q.moduleAddress = static_cast<uint16_t>(i);
        q.foundSerial = 10000u + static_cast<uint32_t>(i);
        q.moduleKind = kKindDeviz;
    }
    channelTable.foundCount = 4;
    selectedChannel = 1;
    MainWindow window(true);
    window.show();
    PollingTimer polling(window.channelList(), [] { return false; });
    polling.start();
    GraphCommands& graphs = *window.graphCommands();

    double longestMs = 0;
    QElapsedTimer sinceLast;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        longestMs = std::max(longestMs, static_cast<double>(sinceLast.nsecsElapsed()) / 1e6);
        sinceLast.restart();
    });
    for (auto _ : state) {
        for (int mode : {3, 1}) {
            graphs.setTraceMode(mode);
            QEventLoop loop;
            QObject::connect(&graphs, &GraphCommands::traceFinished, &loop, &QEventLoop::quit);
            sinceLast.start();
            watchdog.start(0);
            graphs.traceCommand();
            if (graphs.tracing()) loop.exec();
            watchdog.stop();
        }
    }
    polling.stop();
    reportMetric("gui_max_stall_ms", longestMs);
}
BENCHMARK(guiStallDuringTrace)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vz::bench
