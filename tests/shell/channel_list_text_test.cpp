#include "app/core/channel_list_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/core/list_scrolling.h"
#include "base/settings.h"
#include "channel/channel_table.h"

namespace vz {
namespace {

class ChannelListTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetSettings();
        resetChannelTable();
    }
    void TearDown() override {
        resetSettings();
        resetChannelTable();
    }
    QOR& add(int channel, uint32_t kind, uint16_t status = 0) {
        QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(channel)];
        q.moduleAddress = static_cast<uint16_t>(channel);
        q.foundSerial = 1000 + static_cast<uint32_t>(channel);
        q.moduleKind = kind;
        q.voltageExponent = -10;
        q.currentExponent = -11;
        q.status = status;
        ++channelState().channelTable.foundCount;
        return q;
    }
    static std::string line(const QOR& q) {
        char text[256];
        channelLineText(q, text, sizeof text);
        return text;
    }
};

TEST_F(ChannelListTextTest, LineTextsByKindAndController) {
    QOR& q = add(3, kKindDeviz, 0x0001);
    q.uSense = 1536;  // 1.5 V
    q.current = -3;   // -0.00146484375 A
    q.uTerminal = 2048;
    crateSettings().controllerType = 17;
    EXPECT_EQ(line(q), "U3   Usense:  1.50000V  I: -0.00146A  Status: ON ");
    crateSettings().controllerType = 18;
    EXPECT_EQ(line(q), "U3   Usense:  1.50000V  I: -0.00146A  Umodule:  2.00000V  Status: ON ");

    struct Case {
        uint16_t status;
        const char* text;
    };
    const Case states[] = {{0x8011, "INHIBIT TEMP "},
                           {0x0080, "OFF !"},
                           {0x0003, "UP "},
                           {0x0044, "DOWN "},
                           {0x0040, "Off "},
                           {0xFFA8, "OFF TEMP UModMax IModMax USenMin USenMax Power Timeout ILimit r R !"}};
    for (const Case& c : states) {
        q.status = c.status;
        char text[96];
        statusWordText(c.status, text, sizeof text);
        EXPECT_EQ(std::string(text), c.text) << std::hex << c.status;
    }

    QOR& jova = add(5, kKindBolanJova);
    const int16_t temps[8] = {21, -5, 30, 0, 1, 2, 3, 4};
    std::memcpy(reinterpret_cast<uint8_t*>(static_cast<MODULE_MEASURE_DATA*>(&jova)) + 8, temps,
                sizeof temps);
    EXPECT_EQ(line(jova), "U5   Temp      21    -5    30     0        1     2     3     4    JOVA: Special");
    QOR& other = add(9, kKindOther);
    EXPECT_EQ(line(other), "U9" + std::string(55, ' ') + " Status: Special");
}

TEST_F(ChannelListTextTest, OptionColumns) {
    QOR& q = add(1, kKindReruz, 0);
    q.rx0Overflow = 0xFFFF;
    q.rx1Overflow = 2;
    q.rx0Count = 0x00040003;
    q.idle = 77;
    q.mainCounter = 88;
    std::memcpy(q.firmware().name, "RERUZ12", 7);
    q.firmware().version = 0x01000004;  // bytes 16..19 = 4, 0, 0, 1
    crateSettings().controllerType = 17;
    crateSettings().fCmdLine |= kGetBlock2 | kGetBlock3 | kShowFirmware;
    EXPECT_TRUE(
        line(q).ends_with("Status: OFF , rx0Overflow: 4294967295, rx1Overflow: 2, rx0Count: 262147"
                          ", rx1Count: 77, mainCounter: 88\t, FW: RERUZ12 1.0.0.4"));
    crateSettings().controllerType = 18;
    EXPECT_NE(line(q).find(", FFFF 0002 0003 0004, idle: 77, mainCounter: 88"), std::string::npos);
}

TEST_F(ChannelListTextTest, SlaveHiddenUnlessExpertView) {
    add(0, kKindDeviz);
    QOR& slave = add(1, kKindDeviz);
    slave.system().flags = 1u << 3;
    static ChannelListText list;
    buildChannelList(list);
    ASSERT_EQ(list.count, 2);  // U0 and the blank line
    EXPECT_EQ(std::string(list.lines[1].text), "");

    crateSettings().fCmdLine |= kExpertView;
    buildChannelList(list);
    ASSERT_EQ(list.count, 5);
    EXPECT_EQ(std::string(list.lines[1].text).rfind("Module Read Errors: ", 0), 0u);
    EXPECT_NE(std::string(list.lines[3].text).find("  Slave:  OFF "), std::string::npos);
    EXPECT_EQ(slave.rowTop, 54);
}

TEST_F(ChannelListTextTest, AtlasModeDrawsSevenChannelsAndTheHeatSink) {
    for (int i = 0; i <= 12; ++i) add(i, kKindDeviz);
    QOR& eleven = channelState().channelTable.channels[11];
    eleven.voltageExponent = 0;
    eleven.currentExponent = 0;
    eleven.uSense = 24;
    eleven.current = 20;
    crateSettings().fCmdLine |= kAtlasMode;
    static ChannelListText list;
    buildChannelList(list);
    ASSERT_EQ(list.count, 9);  // channels 0..6, the heat-sink line, the blank line
    EXPECT_EQ(std::string(list.lines[7].text).rfind("Heat sink temperature: ", 0), 0u);
    EXPECT_NE(std::string(list.lines[7].text)
                  .find(" \xB0"
                        "C / "),
              std::string::npos);
    EXPECT_NE(std::string(list.lines[7].text).find("Aux Supply Voltage: 33.60 V"), std::string::npos);
    for (int i = 7; i <= 11; ++i) EXPECT_EQ(channelState().channelTable.channels[i].rowTop, 7 * 18) << i;
    EXPECT_EQ(channelState().channelTable.channels[12].rowTop, 8 * 18);
}

TEST_F(ChannelListTextTest, HitTestAccountsForScrolling) {
    for (int i = 0; i < 20; ++i) add(i, kKindDeviz);
    static ChannelListText list;
    buildChannelList(list);
    ListScroll scroll;
    scroll.bottomExtent = 20 * 18;
    EXPECT_TRUE(scroll.request(ScrollRequest::LineDown, 100));
    EXPECT_TRUE(scroll.request(ScrollRequest::LineDown, 100));
    EXPECT_TRUE(scroll.request(ScrollRequest::LineDown, 100));
    EXPECT_EQ(scroll.scrollPos, 3);
    // The line of channel 12 is drawn at 12*18 - 54 in the window.
    EXPECT_EQ(channelAt(12 * 18 - 54 + 5, scroll.listTop()), 12);
    EXPECT_EQ(channelAt(25 * 18, scroll.listTop()), -1);
}

TEST_F(ChannelListTextTest, ScrollLimits) {
    ListScroll s;
    s.bottomExtent = 300;
    s.resized(400);  // a window taller than the list
    EXPECT_TRUE(s.request(ScrollRequest::PageDown, 400));
    EXPECT_EQ(s.scrollPos, 0);

    s.bottomExtent = 1000;
    s.resized(100);
    EXPECT_EQ(s.largest, 50);
    s.request(ScrollRequest::PageDown, 100);
    EXPECT_EQ(s.scrollPos, 50);
    s.request(ScrollRequest::LineDown, 100);
    EXPECT_EQ(s.scrollPos, 50);
    s.resized(500);  // taller window: position clamped to the new largest
    EXPECT_EQ(s.scrollPos, 27);
    s.request(ScrollRequest::Top, 500);
    s.request(ScrollRequest::LineUp, 500);
    EXPECT_EQ(s.scrollPos, 0);
    EXPECT_FALSE(s.request(ScrollRequest::Other, 500));
}

}  // namespace
}  // namespace vz
