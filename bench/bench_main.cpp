#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "app/core/crate.h"
#include "bench/bench_metrics.h"

namespace vz::bench {

namespace {
std::map<std::string, double>& metrics() {
    static std::map<std::string, double> m;
    return m;
}
}  // namespace

void reportMetric(const std::string& name, double value) {
    metrics()[name] = value;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace vz::bench

int main(int argc, char** argv) {
    const vz::BoundCrate crate;  // the benchmarks run on the main thread
    if (argc == 2 && std::string(argv[1]) == vz::bench::kBackupChildArgument)
        return vz::bench::runBackupForPeakMemory();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [name, value] : vz::bench::metrics())
        std::printf("metric %s %.6g\n", name.c_str(), value);
    std::fflush(stdout);
    // No static destructors: the benchmarks' QApplication is a function-local static, and after an
    // event loop ran Qt's own statics (the input devices) would go before it.
    std::_Exit(0);
}
