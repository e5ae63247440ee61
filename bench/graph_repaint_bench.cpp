// One scope sample: a value pushed into each of four 600-point curves, their statistics, and the
// repaint of the graph window (800 x 600, offscreen), as a share of the 100 ms polling tick.
#include <benchmark/benchmark.h>

#include <QImage>
#include <algorithm>

#include "bench/bench_application.h"
#include "bench/bench_metrics.h"
#include "trace/gui/graph_window.h"
#include "trace/scope_sampling.h"

namespace vz::bench {
namespace {

void scopeSampleWithRepaint(benchmark::State& state) {
    benchApplication();
    GraphWindow window(nullptr, makeScopeGraph());
    window.resize(800, 600);
    // What the scope shows of a 12 V channel that is switched on once a minute: a 0.6 s ramp, then the
    // settled output with one raw step of converter noise (exponent -11) on each signal.
    Graph& g = window.graph();
    uint32_t k = 0;
    auto sample = [&g, &k] {
        const uint32_t phase = k % kScopePoints;
        const double lsb = 1.0 / 2048,
                     noise = static_cast<double>(static_cast<int>((k * 7919u) % 3u) - 1) * lsb;
        const double uSense = std::min(12.0, 0.2 * phase) + noise;
        pushValue(g.curves[0], uSense);
        pushValue(g.curves[1], uSense + 0.05 + noise);
        pushValue(g.curves[2], uSense / 2.4 - noise);
        pushValue(g.curves[3], 0.0);
        ++k;
        for (Curve& c : g.curves) updateCurve(c);
    };
    for (uint32_t i = 0; i < kScopePoints; ++i) sample();
    QImage target(window.size(), QImage::Format_RGB32);
    window.render(&target);
    const double start = processCpuSeconds();
    for (auto _ : state) {
        sample();
        window.render(&target);
    }
    const double perSample = (processCpuSeconds() - start) / static_cast<double>(state.iterations());
    reportMetric("graph_repaint_cpu_share", perSample / 0.100);
}
BENCHMARK(scopeSampleWithRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vz::bench
