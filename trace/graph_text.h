#pragma once
// The texts of a graph window: a curve's statistics line and the axis labels, and where the
// tab-separated parts of a statistics line stand.
#include <functional>
#include <string>
#include <vector>

#include "trace/graph_curve.h"

namespace vz {

// "<name>:\tMin: ...\tMax: ...\tMean:...\tPkPk: ...\tRMS: ..." with five significant digits each.
std::string statisticsLine(const Curve& curve);

// Five significant digits, trailing zeros kept: 60 -> "60.000", 0.001234 -> "0.0012340".
std::string axisLabel(double value);

// The x of each tab-separated part of `text` drawn from `originX`: the first at the origin, each
// further one at the first tab stop (from the origin) right of where the part before it ends.
std::vector<int> tabbedPartPositions(const std::vector<std::string>& parts, int originX,
                                     const std::function<int(const std::string&)>& textWidth);
std::vector<std::string> splitAtTabs(const std::string& text);

}  // namespace vz
