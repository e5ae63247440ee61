#include "app/core/polling.h"

#include <gtest/gtest.h>

#include <string>

#include "app/core/connection.h"
#include "app/core/shell_commands.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using Bytes = std::vector<uint8_t>;

class PollingTest : public test::CrateFixture {
  protected:
    void connect(const std::string& modules, uint32_t flags = 0) {
        useScenario(test::oneBridgeScenario(modules, "", R"("canTimeoutMs": 1)"));
        crateSettings().fCmdLine |= flags;
        crateSettings().searchLimit = 8;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        recorder->writes.clear();
    }
    // Module address bytes of the measurement reads sent, in order.
    std::vector<int> polledChannels() const {
        std::vector<int> out;
        for (const auto& f : sentFrames())
            if (f.size() == 3 && (f[1] & 0xF8) == 0xC0) out.push_back(f[0] - 0x80);  // function code 4
        return out;
    }
};

const char* kTwoModules =
    R"({"channel": 2, "serialNumber": 12, "firmware": {"name": "DEVIZ"}, "system": {"voltageExponent": -10},
        "user": {"Unom": "5 V", "Inom": "1 A"}},
       {"channel": 5, "serialNumber": 15, "firmware": {"name": "DEVIZ"}})";

TEST_F(PollingTest, RoundRobinOverPresentChannels) {
    connect(kTwoModules);
    for (int i = 0; i < 4; ++i) pollingTick();
    EXPECT_EQ(polledChannels(), (std::vector<int>{2, 5, 2, 5}));
    EXPECT_EQ(pollingCycle().tickCount, 4u);
    // Blocks 0 and 1 by default, from the modules on a KRAT controller.
    EXPECT_EQ(sentFrames().size(), 8u);
}

TEST_F(PollingTest, OptionBitsChooseTheBlocks) {
    connect(kTwoModules);
    crateSettings().fCmdLine &= ~kGetBlock1;  // -g1
    QOR& q = channelState().channelTable.channels[2];
    q.rx0Count = 0xDEADBEEF;
    q.block1Rest[0] = 0x1234;
    pollingTick();
    EXPECT_EQ(sentFrames().size(), 1u);
    EXPECT_EQ(q.block1Rest[0], 0x1234);  // words 4..7 untouched
    crateSettings().fCmdLine |= kGetBlock2 | kGetBlock3;
    pollingTick();
    pollingTick();
    EXPECT_EQ(sentFrames().size(), 7u);  // blocks 0, 2 and 3 on each of the two ticks
    EXPECT_NE(q.rx0Count, 0xDEADBEEFu);
}

TEST_F(PollingTest, StoppedAndSuspendedTicks) {
    connect(kTwoModules);
    crateSettings().pollingStoppedByOperator = true;
    pollingTick();
    EXPECT_EQ(pollingCycle().tickCount, 0u);
    crateSettings().pollingStoppedByOperator = false;
    crateSettings().pollingEnabled = false;
    pollingTick();
    EXPECT_EQ(pollingCycle().tickCount, 1u);
    EXPECT_TRUE(sentFrames().empty());
    crateSettings().pollingEnabled = true;
    pollingTick();
    EXPECT_EQ(polledChannels(), (std::vector<int>{2}));
}

TEST_F(PollingTest, NoChannelPresentMakesNoExchange) {
    connect("");
    pollingTick();
    pollingTick();
    EXPECT_EQ(pollingCycle().tickCount, 2u);
    EXPECT_TRUE(sentFrames().empty());
}

TEST_F(PollingTest, TestModeSendsTheTestWordAndFlipsTheCacheOption) {
    connect("", kTestMode);
    pollingTick();
    const auto frames = sentFrames();
    ASSERT_EQ(frames.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(frames[i][0], 0x80 + i);
        EXPECT_EQ(Bytes(frames[i].begin() + 1, frames[i].begin() + 4), (Bytes{0x31, 0x50, 0x05}));
    }
    EXPECT_TRUE(crateSettings().fCmdLine & kConfigFromCache);
    pollingTick();
    EXPECT_FALSE(crateSettings().fCmdLine & kConfigFromCache);
}

TEST_F(PollingTest, CacheWordsOnTwelveChannelControllers) {
    useScenario(test::oneBridgeScenario(
        R"({"channel": 1, "serialNumber": 11, "firmware": {"name": "DEVIZ"}, "cacheWords": [4660, 22136]})",
        "", R"("cacheChannels": 12)", "0011"));
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    recorder->writes.clear();
    pollingTick();
    const auto frames = sentFrames();
    ASSERT_EQ(frames.size(), 3u);  // blocks 0 and 1 from the cache, then the two cache words
    EXPECT_EQ(frames[0][0], 0xFF);
    const QOR& q = channelState().channelTable.channels[1];
    EXPECT_EQ(q.cacheWordLow, 4660u);
    EXPECT_EQ(q.cacheWordHigh, 22136u);
}

TEST_F(PollingTest, SwitchMenuCommandsSendOneFrame) {
    connect(kTwoModules);
    struct Case {
        int id;
        Bytes frame;
    };
    const Case cases[] = {{32784, {0x00, 0x31, 0x02, 0x00, 0x69}},
                          {32789, {0x02, 0x31, 0x01, 0x00, 0x68}},
                          {32799, {0x00, 0x31, 0x04, 0x00, 0x6F}},
                          {32800, {0x00, 0x31, 0x14, 0x00, 0x7F}}};
    for (const Case& c : cases) {
        recorder->writes.clear();
        EXPECT_TRUE(runSwitchMenuCommand(c.id));
        ASSERT_EQ(sentFrames().size(), 1u);
        EXPECT_EQ(sentFrames()[0], c.frame) << c.id;
    }
    EXPECT_FALSE(runSwitchMenuCommand(32780));
}

}  // namespace
}  // namespace vz

namespace vz {
namespace {

TEST_F(PollingTest, AllOnRampsTheOutputsToTheirSetPoints) {
    connect(R"({"channel": 1, "serialNumber": 11, "firmware": {"name": "DEVIZ"},
                "system": {"voltageExponent": -10, "currentExponent": -10, "maxUnom": "15 V", "maxInom": "10 A"},
                "user": {"Unom": "12 V", "Inom": "5 A", "rampUp": 10, "rampDown": 10}})");
    ASSERT_TRUE(runSwitchMenuCommand(32783));  // all on
    const QOR& q = channelState().channelTable.channels[1];
    clock_.advanceUs(600'000);
    pollingTick();
    EXPECT_TRUE(q.status & 0x2);                        // rising
    EXPECT_NEAR(q.voltageFromRaw(q.uSense), 6.0, 0.6);  // 10 V/s for 0.6 s
    clock_.advanceUs(1'000'000);
    pollingTick();
    EXPECT_NEAR(q.voltageFromRaw(q.uSense), 12.0, 0.05);
    EXPECT_TRUE(q.status & 0x1);  // on
    EXPECT_FALSE(q.status & 0x2);
}

}  // namespace
}  // namespace vz
