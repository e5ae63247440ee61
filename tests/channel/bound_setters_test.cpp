#include <cmath>

#include "channel_fixture.h"

namespace vz::test {
namespace {

class BoundSetters : public ChannelFixture {};

TEST_F(BoundSetters, ActOnTheirOwnDialogsChannel) {
    outputConfigChannel = &channel(4);
    outputCalibrationChannel = &channel(9);
    EXPECT_TRUE(outputConfig::Unom(1234));
    EXPECT_TRUE(outputConfig::systemMaxPower(300));
    EXPECT_TRUE(outputCalibration::calUIntOffset(-2));

    EXPECT_EQ(channelTable.channels[4].Unom, 1234);
    EXPECT_EQ(channelTable.channels[4].system().maxPower, 300);
    EXPECT_EQ(channelTable.channels[9].calUIntOffset, -2);
    ASSERT_EQ(link.requests.size(), 3u);
    EXPECT_EQ(link.requests[0].module, 0x84);
    EXPECT_EQ(link.requests[0].address, 0x12002u);
    EXPECT_EQ(link.requests[1].module, 0x84);
    EXPECT_EQ(link.requests[1].address, 0x1102Eu);
    EXPECT_EQ(link.requests[2].module, 0x89);
    EXPECT_EQ(link.requests[2].address, 0x11034u);
}

TEST_F(BoundSetters, WithoutChannelNothingIsSent) {
    EXPECT_FALSE(outputConfig::Unom(1));
    EXPECT_FALSE(outputCalibration::exponent(0));
    EXPECT_FALSE(outputConfig::errorActionPower(1));
    EXPECT_FALSE(outputCalibration::voltageExponent(1));
    EXPECT_TRUE(link.requests.empty());
    EXPECT_EQ(logLines.size(), 4u);
}

struct FieldCase {
    bool (*set)(unsigned);
    unsigned shift;
};

// Each field setter changes its own two bits and carries every other bit, the unused 12-13 included.
TEST_F(BoundSetters, ErrorActionFieldReplacesOnlyItsBits) {
    const FieldCase cases[] = {
        {outputConfig::errorActionMinUSense, 0},   {outputConfig::errorActionMaxUSense, 2},
        {outputConfig::errorActionMaxUModule, 4},  {outputConfig::errorActionMaxCurrent, 6},
        {outputConfig::errorActionTemperature, 8}, {outputConfig::errorActionPower, 10},
        {outputConfig::errorActionTimeout, 14}};
    QOR& q = channel(0);
    outputConfigChannel = &q;
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.shift);
        q.errorAction = 0xFFFF;
        ASSERT_TRUE(c.set(0));
        EXPECT_EQ(q.errorAction, 0xFFFF & ~(3u << c.shift));
        q.errorAction = 0x0000;
        ASSERT_TRUE(c.set(2));
        EXPECT_EQ(q.errorAction, 2u << c.shift);
    }
    EXPECT_EQ(link.requests.size(), 14u);
}

TEST_F(BoundSetters, ErrorActionPowerKeepsTheOtherFields) {
    QOR& q = channel(0);
    outputConfigChannel = &q;
    q.errorAction = 0x93A5;  // bits 10-11 clear
    ASSERT_TRUE(outputConfig::errorActionPower(3));
    EXPECT_EQ(q.errorAction, 0x9FA5);
    ASSERT_EQ(link.requests.size(), 1u);
    EXPECT_EQ(link.requests[0].address, 0x1200Au);
    EXPECT_EQ(link.requests[0].data, (std::vector<uint8_t>{0xA5, 0x9F}));

    EXPECT_FALSE(outputConfig::errorActionPower(4));  // would spill into bits 12-13
    EXPECT_EQ(q.errorAction, 0x9FA5);
    EXPECT_EQ(link.requests.size(), 1u);
}

TEST_F(BoundSetters, ExponentBytesKeepTheOtherExponent) {
    QOR& q = channel(6);
    outputCalibrationChannel = &q;
    q.voltageExponent = -10;
    q.currentExponent = -11;
    ASSERT_TRUE(outputCalibration::voltageExponent(0xF4));
    EXPECT_EQ(q.voltageExponent, -12);
    EXPECT_EQ(q.currentExponent, -11);
    ASSERT_TRUE(outputCalibration::currentExponent(0x02));
    EXPECT_EQ(q.voltageExponent, -12);
    EXPECT_EQ(q.currentExponent, 2);

    link.scriptCommands({5});
    EXPECT_FALSE(outputCalibration::currentExponent(0x07));
    EXPECT_EQ(q.currentExponent, 2);

    ASSERT_EQ(link.requests.size(), 3u);
    EXPECT_EQ(link.requests[0].data, (std::vector<uint8_t>{0xF4, 0xF5}));
    EXPECT_EQ(link.requests[1].data, (std::vector<uint8_t>{0xF4, 0x02}));
    EXPECT_EQ(seam.boxes.at(0).caption, "MODULE_SYSTEM_CONFIG::exponent: Error Code 0x5");
}

TEST_F(BoundSetters, NominalFromFractionTruncatesAndRefreshes) {
    QOR& q = channel(2);
    outputConfigChannel = &q;
    int refreshes = 0;
    setOutputConfigRefreshHook([&] { ++refreshes; });
    q.maxUnom = 1001;
    q.maxInom = -301;
    ASSERT_TRUE(outputConfig::nominalFromFraction(0.5));
    EXPECT_EQ(q.Unom, 500);
    EXPECT_EQ(q.Inom, -150);
    EXPECT_EQ(refreshes, 1);

    // A product beyond 16 bits ends at the limit instead of wrapping to a negative set point.
    q.maxUnom = 30000;
    q.maxInom = 20000;
    ASSERT_TRUE(outputConfig::nominalFromFraction(2.0));
    EXPECT_EQ(q.Unom, 32767);
    EXPECT_EQ(q.Inom, 32767);
    EXPECT_EQ(refreshes, 2);
}

TEST_F(BoundSetters, NominalFromFractionStopsAtTheFirstRefusal) {
    QOR& q = channel(2);
    outputConfigChannel = &q;
    int refreshes = 0;
    setOutputConfigRefreshHook([&] { ++refreshes; });
    q.maxUnom = 1000;
    q.maxInom = 1000;
    link.scriptCommands({9});
    EXPECT_FALSE(outputConfig::nominalFromFraction(0.25));
    EXPECT_EQ(link.requests.size(), 1u);
    EXPECT_EQ(q.Unom, 0);
    EXPECT_EQ(refreshes, 0);

    EXPECT_FALSE(outputConfig::nominalFromFraction(std::nan("")));
    EXPECT_EQ(link.requests.size(), 1u);
}

TEST_F(BoundSetters, ExternalSenseSwitchesUserFlagBit3) {
    QOR& q = channel(1);
    outputConfigChannel = &q;
    int refreshes = 0;
    setOutputConfigRefreshHook([&] { ++refreshes; });
    q.user().flags = 0x00F7;
    ASSERT_TRUE(outputConfig::externalSense(false));
    EXPECT_EQ(q.user().flags, 0x00FF);
    ASSERT_TRUE(outputConfig::externalSense(true));
    EXPECT_EQ(q.user().flags, 0x00F7);
    EXPECT_EQ(refreshes, 2);

    link.scriptCommands({1});
    EXPECT_FALSE(outputConfig::externalSense(false));
    EXPECT_EQ(q.user().flags, 0x00F7);
    EXPECT_EQ(refreshes, 2);
    EXPECT_EQ(link.requests.at(0).address, 0x1201Cu);
}

TEST_F(BoundSetters, NominalVoltsUsesTheVoltageExponent) {
    QOR& q = channel(1);
    outputConfigChannel = &q;
    q.voltageExponent = -10;
    q.currentExponent = -4;
    ASSERT_TRUE(outputConfig::nominalVolts(1.5));
    EXPECT_EQ(q.Unom, 1536);
}

}  // namespace
}  // namespace vz::test
