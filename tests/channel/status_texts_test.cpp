#include "channel/status_texts.h"

#include "base/settings.h"
#include "channel_fixture.h"

namespace vz::test {
namespace {

TEST(StatusTexts, StateLine) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0x0000, "OFF"},
        {0x0001, "ON"},
        {0x0010, "INH"},
        {0x0011, "ILLEGAL (ON+INH)"},
        {0x0003, "ON, Voltage rising"},
        {0xFFFE, "INH, Voltage rising, Voltage falling, Current Limit"},
    };
    for (const auto& [status, text] : cases) EXPECT_EQ(channelStateText(status), text) << std::hex << status;
}

TEST(StatusTexts, ErrorListInScreenOrder) {
    EXPECT_EQ(channelErrorList(0x8800), "Sense Voltage too LOW\nTemperature too HIGH\n");
    EXPECT_EQ(channelErrorList(0x001F), "");
    EXPECT_EQ(channelErrorList(0xFFE0),
              "Sense Voltage too LOW\nSense Voltage too HIGH\nTerminal Voltage too HIGH\nCurrent too HIGH\n"
              "Temperature too HIGH\nPower too HIGH\nReserved Error Flag\nCommunication Timeout\n"
              "Self Test Failed!\nInternal: Synchronized\nReserved Status Flag!\n");
}

class StatusValues : public ChannelFixture {
  protected:
    QOR& scaled(int n) {
        QOR& q = channel(n);
        q.moduleKind = kKindDeviz;
        q.voltageExponent = -10;
        q.currentExponent = -11;
        return q;
    }
};

TEST_F(StatusValues, MeasuredValuesAndMarkers) {
    QOR& q = scaled(0);
    q.status = 0x0001;
    q.uSense = 12 * 1024;
    q.current = 3072;  // 1.5 A
    q.uTerminal = 13 * 1024;
    q.temperature = 45;
    ChannelStatusTexts t = channelStatusTexts(q, false);
    EXPECT_EQ(t.stateLine, "ON");
    EXPECT_EQ(t.senseVoltage, "12.000");
    EXPECT_EQ(t.terminalVoltage, "13.000");
    EXPECT_EQ(t.current, "1.500");
    EXPECT_EQ(t.loadPower, "18.0");
    EXPECT_EQ(t.modulePower, "19.5");
    EXPECT_EQ(t.temperature, "45");

    // The markers are texts, but the module power still takes the raw value as a voltage.
    q.uTerminal = -32768;
    q.temperature = -32768;
    t = channelStatusTexts(q, false);
    EXPECT_EQ(t.terminalVoltage, " OK ");
    EXPECT_EQ(t.modulePower, "0.0");
    EXPECT_EQ(t.temperature, " OK ");

    q.uTerminal = 32767;
    q.temperature = 32767;
    t = channelStatusTexts(q, false);
    EXPECT_EQ(t.terminalVoltage, "FAIL");
    EXPECT_EQ(t.modulePower, "48.0");
    EXPECT_EQ(t.temperature, "FAIL");

    q.current = -3072;
    t = channelStatusTexts(q, false);
    EXPECT_EQ(t.loadPower, "0.0");
    EXPECT_EQ(t.modulePower, "0.0");

    q.voltageExponent = 2;  // a raw step of 4 V needs no decimals
    EXPECT_EQ(channelStatusTexts(q, false).senseVoltage, "49152");
}

TEST_F(StatusValues, SwitchingFrequenciesOnlyInTheExpertView) {
    QOR& q = scaled(0);
    q.status = 0x0800;
    q.pwmMinPeriod = 400;
    q.pwmOffset = 1024;  // 1 V
    q.maxUnom = 9 * 1024;
    q.Unom = 4 * 1024;
    EXPECT_EQ(channelStatusTexts(q, false).errorList, "Sense Voltage too LOW\n");
    EXPECT_EQ(channelStatusTexts(q, true).errorList,
              "Sense Voltage too LOW\nfMax 50.00 kHz\nfMin  5.00 kHz\nfNom 25.00 kHz\n");

    q.pwmMinPeriod = 0;
    EXPECT_EQ(switchingFrequencyLines(q), "fMax, fMin, fNom INVALID\n");
}

TEST_F(StatusValues, ShowChannelStatusOnlyForConfigurableChannels) {
    QOR& q = scaled(7);
    q.pwmMinPeriod = 400;
    EXPECT_FALSE(showChannelStatus(0xFFFF).has_value());
    EXPECT_FALSE(showChannelStatus(127).has_value());
    EXPECT_FALSE(showChannelStatus(6).has_value());  // absent, kind 0
    q.moduleKind = kKindBolanJova;
    EXPECT_FALSE(showChannelStatus(7).has_value());

    q.moduleKind = kKindWdxSlave;
    ASSERT_TRUE(showChannelStatus(7).has_value());
    EXPECT_EQ(showChannelStatus(7)->errorList, "");
    crateSettings().fCmdLine |= kExpertView;
    EXPECT_EQ(showChannelStatus(7)->errorList.rfind("fMax 50.00 kHz\n", 0), 0u);
    EXPECT_EQ(showChannelStatus(7)->byControl().front().first, kStateLineControl);
}

}  // namespace
}  // namespace vz::test
