// The controller's configuration record against the virtual crate: where it lives and what a write
// keeps or clears.
#include "channel/controller_config.h"

#include <gtest/gtest.h>

#include <string>

#include "app/core/connection.h"
#include "base/settings.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using ControllerConfigTest = test::CrateFixture;

TEST_F(ControllerConfigTest, WrittenRecordKeepsItsBitsExceptThoseTheRulesClear) {
    struct Case {
        const char* pid;
        const char* type;
        uint32_t wordAddress;
    };
    for (const Case& c : {Case{"0012", "18", 0x9580}, Case{"0011", "17, \"cacheChannels\": 12", 0x9420}}) {
        SCOPED_TRACE(c.pid);
        CrateFixture::TearDown();
        CrateFixture::SetUp();
        useScenario(R"({"bridges": [{"serial": "C1", "vid": "1A2B", "pid": ")" + std::string(c.pid) +
                    R"("}], "controller": {"lineRate": false, "canTimeoutMs": 1, "type": )" + c.type +
                    R"(, "config": {"ip": "10.1.2.3", "httpPort": 8080}}, "modules": []})");
        crateSettings().fCmdLine |= kSkipSlip;
        crateSettings().searchLimit = 0;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        ASSERT_EQ(controllerConfigWordAddress(crateSettings().typeChannelLimit), c.wordAddress);
        ControllerConfig config;
        ASSERT_TRUE(readControllerConfig(config));
        EXPECT_EQ(config.ipAddress(), 0x0A010203u);  // first octet most significant
        EXPECT_EQ(config.httpPort(), 8080);
        // Auto-negotiation with speed and duplex set, BOOTP off, fast PF with "ignore I/O input".
        config.setEthernetFlags(ethernet::kAutoNegotiation | ethernet::kSpeed100M | ethernet::kFullDuplex |
                                ethernet::kBootpDisable);
        config.setOptionFlags(option::kFastPfDetection | option::kIgnoreIoInputForPf | 1u);
        ASSERT_TRUE(writeControllerConfig(config));
        ControllerConfig back;
        ASSERT_TRUE(readControllerConfig(back));
        EXPECT_EQ(back.ethernetFlags(), ethernet::kAutoNegotiation | ethernet::kBootpDisable);
        EXPECT_EQ(back.optionFlags(), option::kFastPfDetection | 1u);
        EXPECT_EQ(back.ipAddress(), 0x0A010203u);
    }
}

}  // namespace
}  // namespace vz
