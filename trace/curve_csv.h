#pragma once
// A graph's curves as CSV: a header row (sample index, time in seconds and the four curve names with
// their units in brackets: "uSense [V]", "uSense (HWI) [raw]" for unscaled counts), then one row a
// sample with every value at full precision, so reading the file gives back the same doubles.
#include <string>

#include "trace/graph_curve.h"

namespace vz {

std::string curvesCsv(const Graph& graph);
// Writes the CSV to a file (through a temporary file, renamed when complete); false with a reason in `error`
// when it cannot be written completely.
bool writeCurvesCsv(const std::string& path, const Graph& graph, std::string& error);

}  // namespace vz
