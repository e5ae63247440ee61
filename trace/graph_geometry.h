#pragma once
// Where a graph window draws: the frame, the axis chosen for a curve's range, the pixel of each
// point, and where the statistics and the axis labels stand. Pixels of a client area W x H.
#include <array>
#include <string>
#include <vector>

#include "trace/graph_curve.h"

namespace vz {

namespace graphlayout {
constexpr int kMargin = 5;
constexpr int kLabelColumn = 64;  // axis labels left of the plot area
constexpr int kLineHeight = 18;
constexpr int kTextBlock = 72;  // the four statistics lines below the plot area
constexpr std::array<int, 5> kTabStops = {200, 330, 460, 590, 720};
}  // namespace graphlayout

struct GraphPoint {
    int x = 0, y = 0;
};

// The frame around the plot area: (69, 5), (69, H-82), (W-5, H-82), (W-5, 5), back to (69, 5).
// `labelColumn` is the width left of the plot area for the axis labels: 64 pixels unless a label
// needs more (then the window widens it so that no label loses its leading digits).
std::array<GraphPoint, 5> graphFrame(int width, int height, int labelColumn = graphlayout::kLabelColumn);

// The axis a curve is drawn on: from `start` (bottom of the plot area) to `end` (top).
struct GraphAxis {
    bool drawn = false;  // false when the range is empty: no line, both labels 0
    double start = 0, end = 0, step = 0;
};

// Steps s0, 2 s0, 5 s0, 10 s0, ... with s0 = 10^(floor(log10(U - L)) - 1); for each the axis starts
// at the multiple of 5 s below L (at most L) and ends 10 s higher; the first step whose end reaches
// U is taken.
GraphAxis chooseAxis(double lower, double upper);

// Pixel of point `index` of `count` with `value`: index 0 at the left edge of the plot area, count - 1
// at the right (integer division), the axis start at the bottom and its end at the top (truncated
// toward zero).
GraphPoint graphPoint(int index, int count, double value, const GraphAxis& axis, int width, int height,
                      int labelColumn = graphlayout::kLabelColumn);

// All points of a curve, as one polyline; empty when the axis is not drawn.
std::vector<GraphPoint> curvePolyline(const Curve& curve, int width, int height,
                                      int labelColumn = graphlayout::kLabelColumn);

// Top-left of a curve's statistics line, and the right end and top of its two axis labels.
GraphPoint statisticsOrigin(int row, int height);
GraphPoint axisEndLabelAnchor(int row, int labelColumn = graphlayout::kLabelColumn);
GraphPoint axisStartLabelAnchor(int row, int height, int labelColumn = graphlayout::kLabelColumn);

}  // namespace vz
