#pragma once
// Figures a benchmark reports; the benchmark program prints them last, one "metric <name> <value>"
// line each.
#include <string>

namespace vz::bench {

void reportMetric(const std::string& name, double value);

// CPU time of this process in seconds.
double processCpuSeconds();

// Wire time of a number of bytes at 115200 baud with 11 bits a byte (8 data, parity, start, stop).
constexpr double wireSeconds(double bytes) {
    return bytes * 11.0 / 115200.0;
}

// The backup whose peak memory is measured runs in a fresh process (the benchmark program started
// again with this argument), so it carries nothing of what the other benchmarks built up.
constexpr const char* kBackupChildArgument = "--backup-peak-memory-child";
int runBackupForPeakMemory();

}  // namespace vz::bench
