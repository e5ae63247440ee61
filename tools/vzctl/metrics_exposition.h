#pragma once
// The Prometheus text exposition (format 0.0.4) of one crate snapshot: a family per quantity, a
// label set per crate and channel, names by Prometheus conventions (base units in the name,
// counters ending in _total). Written by hand: the format is small, and promtool checks it.
#include <cstdint>
#include <string>

#include "tools/vzctl/crate_snapshot.h"

namespace vz::ctl {

// The content type Prometheus expects for this text.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// nowUs: steady-clock time of the scrape, for the age of each channel's last good read.
std::string metricsText(const CrateSnapshot& snapshot, int64_t nowUs);

// A label value with backslash, double quote and line feed escaped as the format wants.
std::string escapedLabelValue(const std::string& value);

}  // namespace vz::ctl
