// The two-point calculation: the worked examples, the clamps, and the divide-by-equal-values rule.
#include "dialogs/two_point_calibration.h"

#include <gtest/gtest.h>

#include "dialogs/measurement_averages.h"

namespace vz {
namespace {

using K = CalibrationKind;

TEST(TwoPointCalibration, GainAndOffsetFromTwoPoints) {
    struct Case {
        const char* what;
        K kind;
        CalibrationPoint low, high;
        CalibrationPair present;
        int exponent;
        CalibrationPair expected;
        bool clamped = false;  // the pair does not make the module agree with the instrument
    };
    const Case cases[] = {
        {"sense voltage example", K::measurement, {1.0, 0.98}, {9.0, 8.82}, {32768, 0}, -11, {33437, 0}},
        // -0.05 V at 2^-11 V per step is -102.4 steps.
        {"set-point example", K::setPoint, {2.4, 2.5}, {7.3, 7.5}, {32768, 0}, -11, {33437, -102}},
        {"present offset enters", K::measurement, {1.0, 1.0}, {9.0, 9.0}, {32768, 100}, -10, {32768, 100}},
        {"negative gain is written as 0", K::measurement, {3.0, 1.0}, {-3.0, 3.0}, {1, 0}, 0, {0, -6}, true},
        {"gain beyond 16 bits is held at the top",
         K::measurement,
         {0, 0},
         {10, 1},
         {32768, 0},
         0,
         {65535, 0},
         true},
        {"offset beyond 16 bits is held at the end",
         K::measurement,
         {-100, 0},
         {-99, 1},
         {32768, 0},
         -11,
         {32768, 32767},
         true},
        {"equal module values keep both",
         K::measurement,
         {1.0, 5.0},
         {9.0, 5.0},
         {30000, 17},
         -11,
         {30000, 17}},
        {"set point, equal real values keep the gain",
         K::setPoint,
         {4.0, 2.0},
         {4.0, 6.0},
         {30000, 0},
         0,
         {30000, 4}},
        {"set point, equal module values keep the offset",
         K::setPoint,
         {2.0, 5.0},
         {4.0, 5.0},
         {30000, 17},
         0,
         {0, 17}},
    };
    for (const Case& c : cases) {
        bool clamped = !c.clamped;
        const CalibrationPair got =
            twoPointCalibration(c.kind, c.low, c.high, c.present, c.exponent, &clamped);
        EXPECT_EQ(got.gain, c.expected.gain) << c.what;
        EXPECT_EQ(got.offset, c.expected.offset) << c.what;
        EXPECT_EQ(clamped, c.clamped) << c.what;
    }
}

TEST(MeasurementAverages, TenSamplesTruncatedTowardZero) {
    MeasurementAverages a;
    for (int v = -3; v <= 6; ++v) {
        MODULE_MEASURE_DATA m;
        m.uSense = static_cast<int16_t>(v);
        m.current = -1;
        m.uTerminal = static_cast<int16_t>(v == 6 ? 9 : 0);
        a.push(m);
    }
    EXPECT_EQ(a.uSense(), 1);  // 15 / 10
    EXPECT_EQ(a.current(), -1);
    EXPECT_EQ(a.uTerminal(), 0);  // 9 / 10 truncates
    MODULE_MEASURE_DATA m;
    m.uSense = 100;
    a.push(m);  // -3 drops out: (18 + 100) / 10
    EXPECT_EQ(a.uSense(), 11);
}

}  // namespace
}  // namespace vz
