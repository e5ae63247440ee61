#pragma once
// The data of a graph window: four curves of a fixed number of points, each with its statistics and
// the vertical range it is drawn in.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vz {

struct Curve {
    uint32_t colour = 0;         // 0xRRGGBB, pen and text colour
    std::vector<double> values;  // index 0 is the left end; the size is fixed at creation
    double minimum = 0, maximum = 0, mean = 0, peakToPeak = 0, rms = 0;
    std::string name;                       // label in the statistics line
    int row = 0;                            // 0..3, where the curve's texts stand
    double lowerBound = 0, upperBound = 0;  // the range the axis is chosen for
    std::string unit;                       // of the values, for saved data: "V", "A", "raw"; empty: none

    uint32_t count() const { return static_cast<uint32_t>(values.size()); }
};

constexpr int kCurveCount = 4;
constexpr uint32_t kMinimumPoints = 2;

struct Graph {
    std::string title;
    std::array<Curve, kCurveCount> curves;
    // Time between two points, for saved data; 0 when not known. Index 0 is the newest point of a
    // scope (times count back from it) and the first sample of a trace (times count forward).
    double secondsPerPoint = 0;
    bool newestFirst = false;
};

// Four curves of `points` values (at least 2), all zero, with their statistics computed. A null
// name takes the row's default: "uSense", "uModul", "iModul", "Y3".
Graph makeGraph(std::string title, uint32_t points, const std::array<const char*, kCurveCount>& names = {});

// Shifts every value one place towards the end (the last drops out) and stores `value` at index 0.
void pushValue(Curve& curve, double value);
// Stores one value; an index beyond the curve is ignored.
void setValue(Curve& curve, uint32_t index, double value);
// Recomputes minimum, maximum, mean, peak-to-peak, RMS and the bounds from all values. The bounds
// are the minimum and the maximum; a flat curve other than zero is drawn on an axis from zero, so
// a steady output stays visible and only an all-zero curve shows no line.
void updateCurve(Curve& curve);

}  // namespace vz
