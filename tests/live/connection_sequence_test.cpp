// The connection sequence from opening the bridge to the end of the search: the SNMP probe, the
// channel limit by controller type, and what the search asks of each module it finds.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/core/connection.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/usb_link.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using ConnectionSequenceTest = test::CrateFixture;

// A write that carries an SNMP request in IP/UDP over SLIP: direct module frames are 14 bytes at most.
bool isSlip(const std::vector<uint8_t>& frame) {
    return frame.size() > 28;
}

TEST_F(ConnectionSequenceTest, SnmpProbeAttemptsAndTheChannelLimitByControllerType) {
    struct Case {
        const char* name;
        const char* pid;
        bool agent;          // the controller runs its SNMP agent
        const char* faults;  // probe faults
        uint32_t flags;
        int probes;  // GetRequests sent before the search
        bool snmp;
        int limit;
    };
    const Case cases[] = {
        {"QX308 without agent: 11 probes, then direct", "0010", false, "", 0, 11, false, 12},
        {"QX308 with agent", "0010", true, "", 0, 1, true, 60},
        {"QX308 with agent, -S", "0010", true, "", kSkipSlip, 0, false, 12},
        {"KRAT, agent silent for 3 probes", "0012", true,
         R"({"kind": "noReply", "operation": "probe", "count": 3})", 0, 4, true, 127},
        {"KRAT with agent, -S: never probed", "0012", true, "", kSkipSlip, 0, false, 127},
        {"KRAT, agent never answers", "0012", true, R"({"kind": "noReply", "operation": "probe"})", 0, 11,
         false, 127},
        {"WDX is not probed", "0011", true, "", 0, 0, false, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CrateFixture::TearDown();
        CrateFixture::SetUp();
        useScenario(test::oneBridgeScenario("", c.faults, c.agent ? R"("snmp": true)" : "", c.pid));
        crateSettings().searchLimit = 0;  // the probe alone: the search sends nothing
        crateSettings().fCmdLine |= c.flags;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        int slipFrames = 0;
        for (const auto& f : sentFrames()) slipFrames += isSlip(f) ? 1 : 0;
        EXPECT_EQ(slipFrames, c.probes);
        EXPECT_EQ(sentFrames().size(), static_cast<size_t>(c.probes));
        EXPECT_EQ(crateSettings().snmpMode, c.snmp);
        EXPECT_EQ(crateSettings().typeChannelLimit, c.limit);
        // Over SNMP the QX308 searches the modules themselves and measures from them.
        EXPECT_EQ((crateSettings().fCmdLine & (kSearchModules | kMeasureFromModules)) != 0,
                  c.snmp || std::string(c.pid) == "0012");
    }
}

TEST_F(ConnectionSequenceTest, EachFoundModuleIsReadWholeOnce) {
    // Found modules: system record, firmware record and, for a module that can be configured, the user
    // record, each in 8-byte reads from its base; an absent address costs its one serial read only.
    useScenario(test::oneBridgeScenario(
        R"({"channel": 1, "serialNumber": 11, "firmware": {"name": "DEVIZ 5V"}},
           {"channel": 3, "serialNumber": 13, "firmware": {"name": "BOLAN JOVA"}})",
        "", R"("canTimeoutMs": 1)"));
    crateSettings().fCmdLine |= kSkipSlip;
    crateSettings().searchLimit = 4;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    ASSERT_EQ(channelState().channelTable.foundCount, 2u);
    using Read = std::tuple<int, uint32_t, int>;  // module, address, length
    std::vector<Read> reads;
    for (const auto& f : sentFrames()) {
        ASSERT_EQ(f.size(), 6u);
        ASSERT_NE(f[1] & 0x80, 0) << "the search only reads";
        reads.emplace_back(f[0] - 0x80, static_cast<uint32_t>(f[2] | (f[3] << 8) | ((f[4] & 3) << 16)),
                           (f[1] & 7) * 2);
    }
    std::vector<Read> expected;
    for (int m = 0; m < 4; ++m) expected.emplace_back(m, 0x1000, 4);  // the search: one serial read each
    auto block = [&](int m, uint32_t base, int size) {
        for (int done = 0; done < size; done += 8)
            expected.emplace_back(m, base + done, std::min(8, size - done));
    };
    block(1, 0x1000, 64);  // system record
    block(1, 0x0000, 20);  // firmware record
    block(1, 0x2000, 64);  // user record: a DEVIZ module is configurable
    block(3, 0x1000, 64);
    block(3, 0x0000, 20);
    if (channelState().channelTable.channels[3].configurable()) block(3, 0x2000, 64);
    EXPECT_EQ(reads, expected);
}

}  // namespace
}  // namespace vz
