#include "trace/graph_curve.h"

#include <algorithm>
#include <cmath>

namespace vz {
namespace {

struct RowDefault {
    const char* name;
    uint32_t colour;
};
constexpr RowDefault kRowDefaults[kCurveCount] = {
    {"uSense", 0xFF0000},  // red
    {"uModul", 0x00C000},  // green
    {"iModul", 0x0000FF},  // blue
    {"Y3", 0x000000},      // black
};

}  // namespace

Graph makeGraph(std::string title, uint32_t points, const std::array<const char*, kCurveCount>& names) {
    Graph graph;
    graph.title = std::move(title);
    for (int row = 0; row < kCurveCount; ++row) {
        Curve& c = graph.curves[static_cast<std::size_t>(row)];
        const RowDefault& d = kRowDefaults[row];
        c.colour = d.colour;
        c.name = names[static_cast<std::size_t>(row)] ? names[static_cast<std::size_t>(row)] : d.name;
        c.row = row;
        c.values.assign(std::max(points, kMinimumPoints), 0.0);
        updateCurve(c);
    }
    return graph;
}

void pushValue(Curve& curve, double value) {
    if (curve.values.empty()) return;
    std::copy_backward(curve.values.begin(), curve.values.end() - 1, curve.values.end());
    curve.values.front() = value;
}

void setValue(Curve& curve, uint32_t index, double value) {
    if (index < curve.values.size()) curve.values[index] = value;
}

void updateCurve(Curve& curve) {
    if (curve.values.empty()) return;
    double lo = curve.values.front(), hi = lo, sum = 0, squares = 0;
    for (double v : curve.values) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
        squares += v * v;
    }
    const auto n = static_cast<double>(curve.values.size());
    curve.minimum = lo;
    curve.maximum = hi;
    curve.mean = sum / n;
    curve.peakToPeak = hi - lo;
    curve.rms = std::sqrt(squares / n);
    curve.lowerBound = lo == hi ? std::min(lo, 0.0) : lo;
    curve.upperBound = lo == hi ? std::max(hi, 0.0) : hi;
}

}  // namespace vz
