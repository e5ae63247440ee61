#include <cmath>

#include "channel/channel_table.h"
#include "channel_fixture.h"

namespace vz::test {
namespace {

// Two dialogs, each with the channel it shows; the setters are bound to those pointers as a dialog
// binds them.
class BoundSetters : public ChannelFixture {
  protected:
    QOR* configDialog = nullptr;
    QOR* calibrationDialog = nullptr;
};

TEST_F(BoundSetters, ActOnTheirOwnDialogsChannel) {
    const auto unom = bindSetter<int16_t>(configDialog, parameter("user.Unom"));
    const auto maxPower = bindSetter<uint16_t>(configDialog, parameter("system.maxPower"));
    const auto calUIntOffset = bindSetter<int16_t>(calibrationDialog, parameter("system.calUIntOffset"));
    configDialog = &channel(4);
    calibrationDialog = &channel(9);
    EXPECT_TRUE(unom(1234));
    EXPECT_TRUE(maxPower(300));
    EXPECT_TRUE(calUIntOffset(-2));

    EXPECT_EQ(channelState().channelTable.channels[4].Unom, 1234);
    EXPECT_EQ(channelState().channelTable.channels[4].system().maxPower, 300);
    EXPECT_EQ(channelState().channelTable.channels[9].calUIntOffset, -2);
    ASSERT_EQ(link.requests.size(), 3u);
    EXPECT_EQ(link.requests[0].module, 0x84);
    EXPECT_EQ(link.requests[0].address, 0x12002u);
    EXPECT_EQ(link.requests[1].module, 0x84);
    EXPECT_EQ(link.requests[1].address, 0x1102Eu);
    EXPECT_EQ(link.requests[2].module, 0x89);
    EXPECT_EQ(link.requests[2].address, 0x11034u);

    // The dialog moves to another channel: the same callback follows it.
    configDialog = &channel(5);
    EXPECT_TRUE(unom(77));
    EXPECT_EQ(channelState().channelTable.channels[5].Unom, 77);
    EXPECT_EQ(channelState().channelTable.channels[4].Unom, 1234);
    EXPECT_EQ(link.requests.at(3).module, 0x85);
}

TEST_F(BoundSetters, WithoutChannelNothingIsSent) {
    EXPECT_FALSE(bindSetter<int16_t>(configDialog, parameter("user.Unom"))(1));
    EXPECT_FALSE(bindSetter<uint16_t>(calibrationDialog, parameter("system.exponent"))(0));
    EXPECT_FALSE(bindErrorActionField(configDialog, ErrorActionField::power)(1));
    EXPECT_FALSE(bindExponentByte(calibrationDialog, ExponentByte::voltage)(1));
    EXPECT_FALSE(bindComposite(configDialog, setNominalVolts)(1.0));
    EXPECT_TRUE(link.requests.empty());
    EXPECT_EQ(logLines.size(), 5u);
}

TEST_F(BoundSetters, AValueOfAnotherTypeThanTheParametersIsNotSent) {
    configDialog = &channel(3);
    EXPECT_FALSE(bindSetter<uint16_t>(configDialog, parameter("user.Unom"))(5));
    EXPECT_TRUE(link.requests.empty());
    EXPECT_EQ(logLines.size(), 1u);
}

// Each field setter changes its own two bits and carries every other bit, the unused 12-13 included.
TEST_F(BoundSetters, ErrorActionFieldReplacesOnlyItsBits) {
    const ErrorActionField fields[] = {ErrorActionField::minUSense,   ErrorActionField::maxUSense,
                                       ErrorActionField::maxUModule,  ErrorActionField::maxCurrent,
                                       ErrorActionField::temperature, ErrorActionField::power,
                                       ErrorActionField::timeout};
    QOR& q = channel(0);
    configDialog = &q;
    for (const ErrorActionField field : fields) {
        const unsigned shift = static_cast<unsigned>(field);
        SCOPED_TRACE(shift);
        const auto set = bindErrorActionField(configDialog, field);
        q.errorAction = 0xFFFF;
        ASSERT_TRUE(set(0));
        EXPECT_EQ(q.errorAction, 0xFFFF & ~(3u << shift));
        q.errorAction = 0x0000;
        ASSERT_TRUE(set(2));
        EXPECT_EQ(q.errorAction, 2u << shift);
    }
    EXPECT_EQ(link.requests.size(), 14u);
}

TEST_F(BoundSetters, ErrorActionPowerKeepsTheOtherFields) {
    QOR& q = channel(0);
    configDialog = &q;
    const auto power = bindErrorActionField(configDialog, ErrorActionField::power);
    q.errorAction = 0x93A5;  // bits 10-11 clear
    ASSERT_TRUE(power(3));
    EXPECT_EQ(q.errorAction, 0x9FA5);
    ASSERT_EQ(link.requests.size(), 1u);
    EXPECT_EQ(link.requests[0].address, 0x1200Au);
    EXPECT_EQ(link.requests[0].data, (std::vector<uint8_t>{0xA5, 0x9F}));

    EXPECT_FALSE(power(4));  // would spill into bits 12-13
    EXPECT_EQ(q.errorAction, 0x9FA5);
    EXPECT_EQ(link.requests.size(), 1u);
}

TEST_F(BoundSetters, ExponentBytesKeepTheOtherExponent) {
    QOR& q = channel(6);
    calibrationDialog = &q;
    const auto voltageExponent = bindExponentByte(calibrationDialog, ExponentByte::voltage);
    const auto currentExponent = bindExponentByte(calibrationDialog, ExponentByte::current);
    q.voltageExponent = -10;
    q.currentExponent = -11;
    ASSERT_TRUE(voltageExponent(0xF4));
    EXPECT_EQ(q.voltageExponent, -12);
    EXPECT_EQ(q.currentExponent, -11);
    ASSERT_TRUE(currentExponent(0x02));
    EXPECT_EQ(q.voltageExponent, -12);
    EXPECT_EQ(q.currentExponent, 2);

    link.scriptCommands({5});
    EXPECT_FALSE(currentExponent(0x07));
    EXPECT_EQ(q.currentExponent, 2);

    ASSERT_EQ(link.requests.size(), 3u);
    EXPECT_EQ(link.requests[0].data, (std::vector<uint8_t>{0xF4, 0xF5}));
    EXPECT_EQ(link.requests[1].data, (std::vector<uint8_t>{0xF4, 0x02}));
    EXPECT_EQ(seam.boxes.at(0).caption, "MODULE_SYSTEM_CONFIG::exponent: Error Code 0x5");
}

TEST_F(BoundSetters, NominalFromFractionTruncatesAndRefreshes) {
    QOR& q = channel(2);
    configDialog = &q;
    int refreshes = 0;
    const auto fromFraction = bindComposite(configDialog, setNominalFromFraction, [&] { ++refreshes; });
    q.maxUnom = 1001;
    q.maxInom = -301;
    ASSERT_TRUE(fromFraction(0.5));
    EXPECT_EQ(q.Unom, 500);
    EXPECT_EQ(q.Inom, -150);
    EXPECT_EQ(refreshes, 1);

    // A product beyond 16 bits ends at the limit instead of wrapping to a negative set point.
    q.maxUnom = 30000;
    q.maxInom = 20000;
    ASSERT_TRUE(fromFraction(2.0));
    EXPECT_EQ(q.Unom, 32767);
    EXPECT_EQ(q.Inom, 32767);
    EXPECT_EQ(refreshes, 2);
}

TEST_F(BoundSetters, NominalFromFractionStopsAtTheFirstRefusal) {
    QOR& q = channel(2);
    configDialog = &q;
    int refreshes = 0;
    const auto fromFraction = bindComposite(configDialog, setNominalFromFraction, [&] { ++refreshes; });
    q.maxUnom = 1000;
    q.maxInom = 1000;
    link.scriptCommands({9});
    EXPECT_FALSE(fromFraction(0.25));
    EXPECT_EQ(link.requests.size(), 1u);
    EXPECT_EQ(q.Unom, 0);
    EXPECT_EQ(refreshes, 0);

    EXPECT_FALSE(fromFraction(std::nan("")));
    EXPECT_EQ(link.requests.size(), 1u);
}

TEST_F(BoundSetters, ExternalSenseSwitchesUserFlagBit3) {
    QOR& q = channel(1);
    configDialog = &q;
    int refreshes = 0;
    const auto externalSense = bindComposite(configDialog, setExternalSense, [&] { ++refreshes; });
    q.user().flags = 0x00F7;
    ASSERT_TRUE(externalSense(false));
    EXPECT_EQ(q.user().flags, 0x00FF);
    ASSERT_TRUE(externalSense(true));
    EXPECT_EQ(q.user().flags, 0x00F7);
    EXPECT_EQ(refreshes, 2);

    link.scriptCommands({1});
    EXPECT_FALSE(externalSense(false));
    EXPECT_EQ(q.user().flags, 0x00F7);
    EXPECT_EQ(refreshes, 2);
    EXPECT_EQ(link.requests.at(0).address, 0x1201Cu);
}

TEST_F(BoundSetters, NominalVoltsUsesTheVoltageExponent) {
    QOR& q = channel(1);
    configDialog = &q;
    q.voltageExponent = -10;
    q.currentExponent = -4;
    ASSERT_TRUE(bindComposite(configDialog, setNominalVolts)(1.5));
    EXPECT_EQ(q.Unom, 1536);
}

}  // namespace
}  // namespace vz::test
