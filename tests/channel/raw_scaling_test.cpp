#include "channel/raw_scaling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "channel/channel_table.h"

namespace vz {
namespace {

struct ToRawCase {
    double value;
    int exponent;
    int16_t raw;
};

class RawFromPhysical : public ::testing::TestWithParam<ToRawCase> {};

TEST_P(RawFromPhysical, SaturatesAndRoundsHalfAwayFromZero) {
    const ToRawCase& c = GetParam();
    EXPECT_EQ(rawFromPhysical(c.value, c.exponent), c.raw) << c.value << " at exponent " << c.exponent;
}

INSTANTIATE_TEST_SUITE_P(Cases, RawFromPhysical,
                         ::testing::Values(ToRawCase{1.5, -10, 1536}, ToRawCase{40.0, -10, 32767},
                                           ToRawCase{-0.00146484375, -11, -3}, ToRawCase{-0.0012, -11, -2},
                                           ToRawCase{std::ldexp(32767.6, -10), -10, 32767},
                                           ToRawCase{std::ldexp(-0.5, -10), -10, -1},
                                           ToRawCase{std::ldexp(0.49, -10), -10, 0},
                                           ToRawCase{std::ldexp(-40000.0, -10), -10, -32768},
                                           ToRawCase{std::ldexp(-32767.6, -10), -10, -32768},
                                           ToRawCase{2.5, 0, 3}, ToRawCase{-2.5, 0, -3}, ToRawCase{3.0, 1, 2},
                                           ToRawCase{65534.0, 1, 32767},
                                           ToRawCase{std::numeric_limits<double>::infinity(), -10, 32767},
                                           ToRawCase{std::numeric_limits<double>::quiet_NaN(), -10, 0}));

TEST(RawScaling, PhysicalFromRawIsExact) {
    EXPECT_EQ(physicalFromRaw(-32768, -10), -32.0);
    EXPECT_EQ(physicalFromRaw(1536, -10), 1.5);
    EXPECT_EQ(physicalFromRaw(3, 2), 12.0);
}

TEST(RawScaling, DecimalsForExponent) {
    const std::pair<int, int> cases[] = {{-10, 4}, {-11, 4}, {-14, 5}, {-4, 2}, {-1, 1}, {0, 0}, {5, 0}};
    for (const auto& [exponent, decimals] : cases)
        EXPECT_EQ(decimalsForExponent(exponent), decimals) << exponent;
}

TEST(RawScaling, ChannelScalesVoltageAndCurrentWithItsOwnExponents) {
    QOR channel;
    channel.voltageExponent = -10;
    channel.currentExponent = -11;
    const CHANNEL_BASE& base = channel;
    EXPECT_EQ(base.voltageToRaw(1.5), 1536);
    EXPECT_EQ(base.currentToRaw(1.5), 3072);
    EXPECT_EQ(base.voltageFromRaw(1536), 1.5);
    EXPECT_EQ(base.currentFromRaw(3072), 1.5);
}

}  // namespace
}  // namespace vz
