// One scope sample: a value pushed into each of four 600-point curves, their statistics, and the
// repaint of the graph window (800 x 600, offscreen), as a share of the 100 ms polling tick.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cmath>

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
    // A full scope: a ramp with ripple, so every point lands on its own pixel.
    Graph& g = window.graph();
    double t = 0;
    auto sample = [&g, &t] {
        t += 0.1;
        for (int row = 0; row < kCurveCount; ++row)
            pushValue(g.curves[static_cast<std::size_t>(row)],
                      (row + 1) * (5 + 0.01 * std::sin(7 * t)) + 0.001 * t);
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
