#pragma once
// The scope: the selected channel's sense voltage, module voltage and current as they are polled,
// over the last 600 polling ticks.
#include <cstdint>
#include <string>

#include "trace/graph_curve.h"

namespace vz {

constexpr uint32_t kScopePoints = 600;

// "QOR Signals, 600 Points, total time 60.000000 s"
std::string scopeTitle();
Graph makeScopeGraph();

// Pushes the selected channel's latest sense voltage (row 0), module voltage (row 1) and current
// (row 2), in volts and amperes, and recomputes those curves. False, and nothing changes, while no
// channel is selected.
bool scopeSample(Graph& graph);

}  // namespace vz
