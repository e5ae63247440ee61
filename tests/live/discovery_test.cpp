#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/core/connection.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/module_discovery.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

std::string module(int channel, const std::string& firmware, uint32_t serial = 0) {
    return R"({"channel": )" + std::to_string(channel) + R"(, "serialNumber": )" +
           std::to_string(serial ? serial : 500 + channel) + R"(, "firmware": {"name": ")" + firmware +
           R"("}})";
}

class DiscoveryTest : public test::CrateFixture {
  protected:
    // Opens the crate and runs the connection sequence up to the search.
    int connect(const std::string& modules, const std::string& pid, uint32_t extraFlags = 0,
                const std::string& controller = R"("cacheChannels": 12)") {
        useScenario(test::oneBridgeScenario(modules, "", controller, pid));
        crateSettings().fCmdLine |= extraFlags;
        recorder->writes.clear();
        return connectController(crateSettings().fCmdLine)
                   ? static_cast<int>(channelState().channelTable.foundCount)
                   : -1;
    }
    // The channels the search asked about, by path.
    void searched(std::set<int>& viaController, std::set<int>& viaModule) {
        for (const auto& f : sentFrames()) {
            if (f.size() != 6 || !(f[1] & 0x80)) continue;
            const uint32_t address = f[2] | (f[3] << 8) | ((f[4] & 3) << 16);
            if (f[0] == 0xFF && address >= 0x29022 && (address - 0x29022) % 88 == 0)
                viaController.insert(static_cast<int>((address - 0x29022) / 88));
            else if (f[0] >= 0x80 && address == 0x1000 && (f[1] & 7) == 2)
                viaModule.insert(f[0] - 0x80);
        }
    }
};

TEST_F(DiscoveryTest, WdxAsksTheControllerForItsTwelveChannels) {
    EXPECT_EQ(connect(module(3, "DEVIZ 5V") + "," + module(7, "RERUZ48V2A"), "0011"), 2);
    std::set<int> controller, modules;
    searched(controller, modules);
    EXPECT_EQ(controller.size(), 12u);
    EXPECT_EQ(*controller.rbegin(), 11);
    EXPECT_TRUE(modules.empty());
    EXPECT_EQ(channelState().selectedChannel, 3);
    EXPECT_EQ(channelState().channelTable.channels[3].moduleKind, kKindDeviz);
    EXPECT_EQ(channelState().channelTable.channels[7].moduleKind, kKindReruz);
    EXPECT_EQ(channelState().channelTable.channels[7].foundSerial, 507u);
    EXPECT_EQ(seam.titles.at(1), "VIDIzozorez --> WDX(SN1): Search channels: 0 found, testing 0");
}

TEST_F(DiscoveryTest, SearchAllGoesToTheModulesPastTheControllersChannels) {
    EXPECT_EQ(connect(module(20, "DEVIZ"), "0011", kSearchAll), 1);
    std::set<int> controller, modules;
    searched(controller, modules);
    EXPECT_EQ(controller.size(), 12u);
    EXPECT_EQ(modules.size(), 127u - 12u);
    EXPECT_EQ(*modules.begin(), 12);
}

TEST_F(DiscoveryTest, SearchLimitOnKratAsksEachModuleDirectly) {
    crateSettings().searchLimit = 4;
    EXPECT_EQ(connect(module(2, "BOLAN JOVA") + "," + module(5, "DEVIZ"), "0012", 0, R"("canTimeoutMs": 10)"),
              1);
    std::set<int> controller, modules;
    searched(controller, modules);
    EXPECT_TRUE(controller.empty());
    EXPECT_EQ(modules, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(channelState().channelTable.channels[2].moduleKind, kKindBolanJova);
    EXPECT_EQ(crateSettings().typeChannelLimit, 127);
    EXPECT_EQ(crateSettings().fCmdLine & 0x180, 0x180u);
}

TEST_F(DiscoveryTest, EmptyKratRunsWithoutAsking) {
    EXPECT_EQ(connect("", "0012", 0, R"("canTimeoutMs": 1)"), 0);
    EXPECT_TRUE(seam.boxes.empty());
    EXPECT_EQ(channelState().selectedChannel, -1);
}

TEST_F(DiscoveryTest, EmptyWdxAsksAbortRetryIgnore) {
    seam.answers = {BoxAnswer::Retry, BoxAnswer::Ignore};
    EXPECT_EQ(connect("", "0011"), 0);
    ASSERT_EQ(seam.boxes.size(), 2u);
    EXPECT_EQ(seam.boxes[0].caption, "Error");
    EXPECT_EQ(seam.boxes[0].buttons, BoxButtons::AbortRetryIgnore);
    EXPECT_EQ(
        seam.boxes[0].text,
        "No Modules found. This is OK if you want to program new firmware. Click IGNORE in this situation.");
    seam.answers = {BoxAnswer::Abort};
    EXPECT_EQ(discoverModules(), -1);
}

TEST_F(DiscoveryTest, KindsByFirmwareName) {
    struct Case {
        const char* text;
        uint32_t kind;
    };
    const Case cases[] = {
        {"DEVIZ 12V10A 1.2.3.4", kKindDeviz}, {"RERUZXYZ", kKindReruz},  {"WDXslave", kKindWdxSlave},
        {"BOLAN JOVA", kKindBolanJova},       {"BOLAN JOV", kKindOther}, {"QNL", kKindOther},
        {"! Read Error !", kKindOther}};
    for (const Case& c : cases) EXPECT_EQ(moduleKindForFirmware(c.text), c.kind) << c.text;
}

TEST_F(DiscoveryTest, UnreadableSystemRecordKeepsTheSearchSerial) {
    useScenario(test::oneBridgeScenario(
        module(1, "DEVIZ", 4242),
        R"({"kind": "moduleError", "channel": 1, "operation": "readAddr", "address": 4104})", "", "0012"));
    crateSettings().searchLimit = 2;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    EXPECT_EQ(channelState().channelTable.channels[1].foundSerial, 4242u);
    EXPECT_EQ(channelState().channelTable.channels[1].moduleKind, kKindOther);
}

TEST_F(DiscoveryTest, CanModeBindsNothingAndFindsNothing) {
    useScenario(test::oneBridgeScenario(module(0, "DEVIZ")));
    crateSettings().fCmdLine |= kUseCan;
    seam.answers = {BoxAnswer::Ignore};  // nothing answers: the operator goes on without modules
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    EXPECT_EQ(channelState().channelTable.foundCount, 0u);
    EXPECT_TRUE(recorder->writes.empty());
    EXPECT_TRUE(recorder->opened.empty());
}

}  // namespace
}  // namespace vz
