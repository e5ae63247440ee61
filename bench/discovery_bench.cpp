// Discovery of a full crate: exchanges and CPU time against the wire time they take.
#include <benchmark/benchmark.h>

#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "channel/channel_table.h"
#include "channel/module_discovery.h"
#include "link/link_state.h"
#include "link/usb_link.h"

namespace vz::bench {
namespace {

void fullCrateDiscovery(benchmark::State& state) {
    BenchCrate crate(127);
    double cpu = 0, wire = 0;
    uint32_t exchanges = 0;
    for (auto _ : state) {
        resetChannelTable();
        const UsbInfo before = linkState().usbInfo;
        const double start = processCpuSeconds();
        benchmark::DoNotOptimize(discoverModules());
        cpu += processCpuSeconds() - start;
        exchanges = linkState().usbInfo.writeCalls - before.writeCalls;
        wire += wireSeconds(linkState().usbInfo.bytesWritten - before.bytesWritten +
                            linkState().usbInfo.bytesRequested - before.bytesRequested);
    }
    reportMetric("discovery_cpu_to_wire_ratio", cpu / wire);
    reportMetric("discovery_exchanges", exchanges);
}
BENCHMARK(fullCrateDiscovery)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vz::bench
