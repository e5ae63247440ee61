#include "trace/graph_geometry.h"

#include <cmath>
#include <cstdint>

namespace vz {

using namespace graphlayout;

std::array<GraphPoint, 5> graphFrame(int width, int height, int labelColumn) {
    const int left = kMargin + labelColumn, right = width - kMargin;
    const int top = kMargin, bottom = height - 2 * kMargin - kTextBlock;
    return {{{left, top}, {left, bottom}, {right, bottom}, {right, top}, {left, top}}};
}

GraphAxis chooseAxis(double lower, double upper) {
    GraphAxis axis;
    const double range = upper - lower;
    if (!(range > 0) || !std::isfinite(range)) return axis;  // empty, reversed or not a number
    const double s0 = std::pow(10.0, std::floor(std::log10(range)) - 1);
    static constexpr double kFactors[] = {1, 2, 5};
    // The end reaches U by 50 s0 at the latest; the bound only guards against rounding far out.
    for (int i = 0; i < 30; ++i) {
        const double s = s0 * kFactors[i % 3] * std::pow(10.0, i / 3);
        double a = lower - std::fmod(lower, 5 * s);
        if (a > lower) a -= s;
        // Below zero fmod is negative, and one step down may not reach L: go to the multiple of 5 s
        // below, so no value of the curve lies under the axis.
        if (a > lower) a -= 4 * s;
        const double b = a + 10 * s;
        if (b >= upper) {
            axis.drawn = true;
            axis.start = a;
            axis.end = b;
            axis.step = s;
            return axis;
        }
    }
    axis.drawn = true;
    axis.start = lower;
    axis.end = upper;
    axis.step = range / 10;
    return axis;
}

GraphPoint graphPoint(int index, int count, double value, const GraphAxis& axis, int width, int height,
                      int labelColumn) {
    const int plotWidth = width - 2 * kMargin - labelColumn;
    const int bottom = height - 2 * kMargin - kTextBlock;
    const double k = (height - 3 * kMargin - kTextBlock) / (axis.end - axis.start);
    GraphPoint p;
    p.x =
        kMargin + labelColumn + (count > 1 ? static_cast<int>(int64_t{index} * plotWidth / (count - 1)) : 0);
    double y = bottom - k * (value - axis.start);
    // A pixel far outside the window draws nothing more; NaN stays at the bottom.
    if (std::isnan(y)) y = bottom;
    y = std::fmax(-1e6, std::fmin(1e6, y));
    p.y = static_cast<int>(y);  // toward zero
    return p;
}

std::vector<GraphPoint> curvePolyline(const Curve& curve, int width, int height, int labelColumn) {
    std::vector<GraphPoint> points;
    const GraphAxis axis = chooseAxis(curve.lowerBound, curve.upperBound);
    if (!axis.drawn) return points;
    const int count = static_cast<int>(curve.count());
    points.reserve(curve.values.size());
    for (int i = 0; i < count; ++i)
        points.push_back(graphPoint(i, count, curve.values[static_cast<std::size_t>(i)], axis, width, height,
                                    labelColumn));
    return points;
}

GraphPoint statisticsOrigin(int row, int height) {
    return {kMargin + 5, height - kMargin - kTextBlock + kLineHeight * row};
}

GraphPoint axisEndLabelAnchor(int row, int labelColumn) {
    return {labelColumn, kLineHeight * row};
}

GraphPoint axisStartLabelAnchor(int row, int height, int labelColumn) {
    return {labelColumn, height - kMargin - 2 * kTextBlock + kLineHeight * row};
}

}  // namespace vz
