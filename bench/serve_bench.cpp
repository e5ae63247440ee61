// vzctl serve on a crate of 127 channels: the CPU of one /metrics scrape over HTTP (server and client
// in this process) as a share of a 1 s scrape interval, and the CPU of one polling tick with the
// snapshot the service publishes after it, while requests come in, as a share of the 100 ms tick.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "channel/module_discovery.h"
#include "tools/vzctl/crate_service.h"
#include "tools/vzctl/http_service.h"
#include "tools/vzctl/metrics_exposition.h"

namespace vz::bench {
namespace {

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void serveMetricsScrape(benchmark::State& state) {
    BenchCrate crate(127);
    discoverModules();
    ctl::CrateService service;
    for (int i = 0; i < 127; ++i) service.tick();  // every channel read once
    ctl::HttpService http(service, {"127.0.0.1", 0, false, ""});
    std::string error;
    if (!http.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    httplib::Client client("127.0.0.1", http.port());
    client.set_keep_alive(true);                 // as Prometheus scrapes
    client.set_decompress(state.range(0) != 0);  // with it the client asks for gzip, as Prometheus does
    std::size_t bytes = 0;
    const double start = processCpuSeconds();
    for (auto _ : state) {
        const auto r = client.Get("/metrics");
        if (!r || r->status != 200) {
            state.SkipWithError("scrape failed");
            break;
        }
        bytes = r->body.size();
    }
    const double perScrape = (processCpuSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["bytes"] = static_cast<double>(bytes);
    reportMetric(state.range(0) ? "serve_scrape_cpu_share" : "serve_scrape_cpu_share_uncompressed",
                 perScrape / 1.0);
    http.stop();
}
BENCHMARK(serveMetricsScrape)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The exposition text alone, without HTTP: what the service itself spends on a scrape.
void serveMetricsText(benchmark::State& state) {
    BenchCrate crate(127);
    discoverModules();
    ctl::CrateService service;
    for (int i = 0; i < 127; ++i) service.tick();
    const auto snapshot = service.snapshot();
    for (auto _ : state) benchmark::DoNotOptimize(ctl::metricsText(*snapshot, 0));
}
BENCHMARK(serveMetricsText)->Unit(benchmark::kMicrosecond);

void serveTickWhileScraped(benchmark::State& state) {
    BenchCrate crate(127);
    discoverModules();
    ctl::CrateService service;
    ctl::HttpService http(service, {"127.0.0.1", 0, false, ""});
    std::string error;
    if (!http.start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    // A scraper and a status reader at work all along, as Prometheus and a script would be.
    std::atomic<bool> done{false};
    std::thread scraper([&] {
        httplib::Client client("127.0.0.1", http.port());
        while (!done) {
            client.Get("/metrics");
            client.Get("/api/v1/status");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const double start = threadCpuSeconds();
    for (auto _ : state) service.tick();
    const double perTick = (threadCpuSeconds() - start) / static_cast<double>(state.iterations());
    done = true;
    scraper.join();
    http.stop();
    reportMetric("serve_tick_cpu_share", perTick / 0.100);
}
BENCHMARK(serveTickWhileScraped)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vz::bench
