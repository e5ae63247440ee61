// The longest time the GUI thread stays away from its event loop while the program runs a trace
// (mode 3, then mode 1) on a crate at line rate in real time, with the polling timer running: a
// zero-interval watchdog timer on the GUI thread notes the gaps between its turns. The thread's CPU
// time within a gap is reported too: on a loaded machine a gap can be long only because the thread
// waited for a processor.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <ctime>

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

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

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
    // Measured in a program that runs: its window shown and painted, its fonts loaded.
    QCoreApplication::processEvents();
    PollingTimer polling(window.channelList(), [] { return false; });
    polling.start();
    GraphCommands& graphs = *window.graphCommands();

    double longestMs = 0, mostCpuMs = 0;
    QElapsedTimer sinceLast;
    double cpuAtLast = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        const double cpu = threadCpuMs();
        longestMs = std::max(longestMs, static_cast<double>(sinceLast.nsecsElapsed()) / 1e6);
        mostCpuMs = std::max(mostCpuMs, cpu - cpuAtLast);
        cpuAtLast = cpu;
        sinceLast.restart();
    });
    for (auto _ : state) {
        for (int mode : {3, 1}) {
            graphs.setTraceMode(mode);
            QEventLoop loop;
            QObject::connect(&graphs, &GraphCommands::traceFinished, &loop, &QEventLoop::quit);
            sinceLast.start();
            cpuAtLast = threadCpuMs();
            watchdog.start(0);
            graphs.traceCommand();
            if (graphs.tracing()) loop.exec();
            watchdog.stop();
        }
    }
    polling.stop();
    reportMetric("gui_max_stall_ms", longestMs);
    reportMetric("gui_max_stall_cpu_ms", mostCpuMs);
}
BENCHMARK(guiStallDuringTrace)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vz::bench
