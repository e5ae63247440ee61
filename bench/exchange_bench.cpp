// CPU time of one measurement-block read against the virtual crate, as a share of its wire time.
#include <benchmark/benchmark.h>

#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "link/module_access.h"

namespace vz::bench {
namespace {

void measurementBlockRead(benchmark::State& state) {
    BenchCrate crate(1);
    uint8_t block[8];
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        benchmark::DoNotOptimize(readShort(moduleAddressByte(0), 4, block, 8));
    }
    const double cpuPerExchange = (processCpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
    // 3 bytes out, 11 back.
    reportMetric("exchange_cpu_to_wire_ratio", cpuPerExchange / wireSeconds(3 + 11));
}
BENCHMARK(measurementBlockRead);

}  // namespace
}  // namespace vz::bench
