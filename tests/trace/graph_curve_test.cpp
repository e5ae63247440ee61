// Curves: pushing, setting, the statistics and their text; the saved CSV.
#include "trace/graph_curve.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "trace/curve_csv.h"
#include "trace/graph_text.h"
#include "trace/trace_buffer.h"

namespace vz {
namespace {

TEST(GraphCurve, DefaultsByRow) {
    const Graph g = makeGraph("T", 1, {nullptr, "own", nullptr, nullptr});
    const char* names[] = {"uSense", "own", "iModul", "Y3"};
    const uint32_t colours[] = {0xFF0000, 0x00C000, 0x0000FF, 0x000000};
    for (int row = 0; row < kCurveCount; ++row) {
        const Curve& c = g.curves[static_cast<std::size_t>(row)];
        EXPECT_EQ(c.name, names[row]);
        EXPECT_EQ(c.colour, colours[row]);
        EXPECT_EQ(c.row, row);
        EXPECT_EQ(c.count(), 2u) << "at least two points";
        EXPECT_EQ(c.values, std::vector<double>(2, 0.0));
    }
}

TEST(GraphCurve, PushShiftsTowardsTheEndAndSetIgnoresIndicesBeyond) {
    Graph g = makeGraph("T", 3);
    Curve& c = g.curves[0];
    pushValue(c, 1);
    pushValue(c, 2);
    pushValue(c, 3);
    pushValue(c, 4);
    EXPECT_EQ(c.values, (std::vector<double>{4, 3, 2}));
    setValue(c, 1, 9);
    setValue(c, 3, 7);
    EXPECT_EQ(c.values, (std::vector<double>{4, 9, 2}));
}

TEST(GraphCurve, StatisticsOfAKnownCurve) {
    Graph g = makeGraph("T", 4);
    Curve& c = g.curves[1];
    const double v[] = {1, -3, 5, 1};
    for (uint32_t i = 0; i < 4; ++i) setValue(c, i, v[i]);
    updateCurve(c);
    EXPECT_EQ(c.minimum, -3);
    EXPECT_EQ(c.maximum, 5);
    EXPECT_EQ(c.mean, 1);
    EXPECT_EQ(c.peakToPeak, 8);
    EXPECT_DOUBLE_EQ(c.rms, std::sqrt(36.0 / 4));
    EXPECT_EQ(c.lowerBound, -3);
    EXPECT_EQ(c.upperBound, 5);
}

TEST(GraphCurve, FlatCurvesAreDrawnFromZeroAndZeroIsNotDrawn) {
    Graph g = makeGraph("T", 5);
    for (uint32_t i = 0; i < 5; ++i) setValue(g.curves[0], i, 12);
    for (uint32_t i = 0; i < 5; ++i) setValue(g.curves[1], i, -2);
    for (Curve& c : g.curves) updateCurve(c);
    EXPECT_EQ(g.curves[0].lowerBound, 0);
    EXPECT_EQ(g.curves[0].upperBound, 12);
    EXPECT_EQ(g.curves[1].lowerBound, -2);
    EXPECT_EQ(g.curves[1].upperBound, 0);
    EXPECT_EQ(g.curves[3].lowerBound, g.curves[3].upperBound);
}

TEST(GraphText, StatisticsLineAndLabels) {
    Graph g = makeGraph("T", 2, {"uSense (SWI)", nullptr, nullptr, nullptr});
    setValue(g.curves[0], 0, 60);
    setValue(g.curves[0], 1, 0.001234);
    updateCurve(g.curves[0]);
    EXPECT_EQ(statisticsLine(g.curves[0]),
              "uSense (SWI):\tMin: 0.0012340\tMax: 60.000\tMean:30.001\tPkPk: 59.999\tRMS: 42.426");
    EXPECT_EQ(statisticsLine(g.curves[3]),
              "Y3:\tMin: 0.0000\tMax: 0.0000\tMean:0.0000\tPkPk: 0.0000\tRMS: 0.0000");
    EXPECT_EQ(axisLabel(60), "60.000");
    EXPECT_EQ(axisLabel(0.001234), "0.0012340");
    EXPECT_EQ(axisLabel(-10), "-10.000");
    EXPECT_EQ(axisLabel(4294967295.0), "4.2950e+09");
}

TEST(GraphText, TabStopsFromTheOrigin) {
    auto width = [](const std::string& s) { return static_cast<int>(s.size()) * 7; };
    const auto parts = splitAtTabs(statisticsLine(makeGraph("T", 2).curves[0]));
    ASSERT_EQ(parts.size(), 6u);
    EXPECT_EQ(tabbedPartPositions(parts, 10, width), (std::vector<int>{10, 210, 340, 470, 600, 730}));
    // A part longer than its column moves the next to the stop after its end.
    const std::vector<std::string> wide = {std::string(30, 'x'), "a", "b"};
    EXPECT_EQ(tabbedPartPositions(wide, 10, width), (std::vector<int>{10, 340, 470}));
}

}  // namespace
}  // namespace vz

namespace vz {
namespace {

// Saved data: a time column and units in the header (raw counts marked), written whole or not at all.
TEST(CurveCsv, TimeColumnUnitsAndAWholeFile) {
    Graph g = makeTraceGraph(2);
    setValue(g.curves[0], 1, -7);
    const std::string csv = curvesCsv(g);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "index,time [s],uSense (HWI) [raw],uModule (HWI) [raw],iModule (HWI) [raw],Y3");
    EXPECT_NE(csv.find("\r\n1,5.13e-05,-7,0,0,0\r\n"), std::string::npos) << "5.13 ms over 100 samples";
    EXPECT_EQ(makeTraceGraph(1).curves[2].unit, "A");

    const auto dir = std::filesystem::temp_directory_path() / ("vz-csv-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "t.csv").string();
    std::string error;
    ASSERT_TRUE(writeCurvesCsv(path, g, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), csv);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary file left";
    EXPECT_FALSE(writeCurvesCsv((dir / "missing" / "t.csv").string(), g, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vz
