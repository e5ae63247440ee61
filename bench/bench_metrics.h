#pragma once
// Figures a benchmark reports; the benchmark program prints them last, one "metric <name> <value>"
// line each.
#include <string>

namespace vz::bench {

void reportMetric(const std::string& name, double value);

// CPU time of this process in seconds.
double processCpuSeconds();

// Wire time of a number of bytes at 115200 baud with 11 bits a byte (8 data, parity, start, stop).
constexpr double wireSeconds(double bytes) { return bytes * 11.0 / 115200.0; }

}  // namespace vz::bench
