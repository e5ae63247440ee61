// The axis a curve is drawn on and where its points and texts land, without a window.
#include "trace/graph_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vz {
namespace {

TEST(GraphAxis, ChoiceByRange) {
    struct Case {
        double lower, upper;
        bool drawn;
        double start, end;
    };
    const Case cases[] = {
        {0.3, 7.2, true, 0, 10},  // 0.1, 0.2, 0.5 end at 1, 2, 5: too short
        {5, 5, false, 0, 0},      // no range: no line
        {0, 0, false, 0, 0},
        {7.2, 0.3, false, 0, 0},     // reversed
        {-7.2, -0.3, true, -10, 0},  // below zero: the start goes down to a multiple of 5 s
        {-0.3, 7.2, true, -1, 9},    // spanning zero
        {-1, 1, true, -1, 1},
        {0, 12, true, 0, 20},
        {11.5, 12.5, true, 11.5, 12.5},
        {1000, 1001, true, 1000, 1001},
        {0, 4294967295.0, true, 0, 5e9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lower << " .. " << c.upper);
        const GraphAxis axis = chooseAxis(c.lower, c.upper);
        ASSERT_EQ(axis.drawn, c.drawn);
        if (!c.drawn) continue;
        EXPECT_NEAR(axis.start, c.start, 1e-9 * (1 + std::abs(c.start)));
        EXPECT_NEAR(axis.end, c.end, 1e-9 * (1 + std::abs(c.end)));
        EXPECT_LE(axis.start, c.lower);
        EXPECT_GE(axis.end, c.upper);
    }
}

TEST(GraphAxis, NotANumberDrawsNothing) {
    EXPECT_FALSE(chooseAxis(0, std::nan("")).drawn);
    EXPECT_FALSE(chooseAxis(-HUGE_VAL, HUGE_VAL).drawn);
}

TEST(GraphPoints, EdgesOfThePlotArea) {
    const int w = 800, h = 600;
    const GraphAxis axis = chooseAxis(0.3, 7.2);  // 0 .. 10
    const auto frame = graphFrame(w, h);
    const int left = frame[0].x, top = frame[0].y, right = frame[2].x, bottom = frame[1].y;
    EXPECT_EQ(left, 69);
    EXPECT_EQ(top, 5);
    EXPECT_EQ(right, 795);
    EXPECT_EQ(bottom, 518);
    EXPECT_EQ(graphPoint(0, 600, 0, axis, w, h).x, left);
    EXPECT_EQ(graphPoint(599, 600, 0, axis, w, h).x, right);
    EXPECT_EQ(graphPoint(0, 600, 0, axis, w, h).y, bottom);  // the axis start at the bottom
    EXPECT_EQ(graphPoint(0, 600, 10, axis, w, h).y, top);    // its end at the top
    // Integer division for x, truncation toward zero for y.
    EXPECT_EQ(graphPoint(1, 600, 0, axis, w, h).x, 69 + 726 / 599);
    EXPECT_EQ(graphPoint(300, 600, 0, axis, w, h).x, 69 + 300 * 726 / 599);
    EXPECT_EQ(graphPoint(0, 600, 3.33, axis, w, h).y, static_cast<int>(518 - 51.3 * 3.33));
}

TEST(GraphPoints, NewestPushedValueAtTheLeftEdge) {
    Graph g = makeGraph("t", 600);
    Curve& c = g.curves[0];
    for (int i = 1; i <= 600; ++i) pushValue(c, i);  // 600 is the newest
    updateCurve(c);
    const auto line = curvePolyline(c, 800, 600);
    ASSERT_EQ(line.size(), 600u);
    EXPECT_EQ(line.front().x, 69);
    EXPECT_EQ(line.back().x, 795);
    EXPECT_LT(line.front().y, line.back().y) << "the newest (largest) value stands highest, at the left";
    EXPECT_TRUE(curvePolyline(g.curves[3], 800, 600).empty()) << "an all-zero curve draws no line";
}

TEST(GraphPoints, TextPositionsStackBelowThePlotArea) {
    EXPECT_EQ(statisticsOrigin(0, 600).x, 10);
    EXPECT_EQ(statisticsOrigin(0, 600).y, 523);
    EXPECT_EQ(statisticsOrigin(3, 600).y, 523 + 54);
    EXPECT_EQ(axisEndLabelAnchor(2).x, 64);
    EXPECT_EQ(axisEndLabelAnchor(2).y, 36);
    EXPECT_EQ(axisStartLabelAnchor(1, 600).y, 600 - 149 + 18);
}

}  // namespace
}  // namespace vz
