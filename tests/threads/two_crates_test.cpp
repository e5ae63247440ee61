// Two crates in one process, each driven from a thread of its own, at the same time: each thread's
// connection, module search, polling and switching reach its own crate's modules, and neither crate's
// link, channel table or communication problem counters see the other's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/core/connection.h"
#include "app/core/crate.h"
#include "app/core/polling.h"
#include "base/clock.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/module_memory_map.h"
#include "channel/switch_commands.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "sim/virtual_crate.h"
#include "tests/threads/counting_operator.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz {
namespace {

struct CrateRun {
    // Given.
    std::string bridgeSerial;
    std::vector<int> channels;
    uint32_t serialBase = 0;
    std::string faults;
    int switchChannel = 0;
    // Found by the thread that drives the crate.
    bool connected = false;
    std::string usbSerialSeen;
    uint32_t found = 0;
    std::vector<int> present;
    std::vector<uint32_t> serialsRead;
    bool switched = false;
    std::vector<int> outputsOnInTheSimulator;
    uint32_t ticks = 0;
    uint32_t retries = 0;
};

std::string scenarioOf(const CrateRun& run) {
    std::string modules;
    for (const int channel : run.channels)
        modules += std::string(modules.empty() ? "" : ",") + R"({"channel": )" + std::to_string(channel) +
                   R"(, "serialNumber": )" + std::to_string(run.serialBase + static_cast<uint32_t>(channel)) +
                   R"(, "firmware": {"name": "DEVIZ 5V"}})";
    return R"({"seed": 3, "bridges": [{"serial": ")" + run.bridgeSerial +
           R"(", "vid": "1A2B", "pid": "0012"}], "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
              "modules": [)" +
           modules + R"(], "faults": [)" + run.faults + "]}";
}

// Everything a front end does with its crate, on the calling thread's own crate.
void drive(CrateRun& run, std::latch& bothBound) {
    const BoundCrate bound;
    std::string error;
    auto simulated = vsim::VirtualCrate::fromJsonText(scenarioOf(run), error);
    ASSERT_TRUE(simulated) << error;
    vsim::VirtualCrate& sim = *simulated;
    VirtualBridgeDriver driver(std::move(simulated));
    setBridge(&driver);
    crateSettings().fCmdLine |= kSkipSlip;
    crateSettings().searchLimit = 8;
    bothBound.arrive_and_wait();  // from here on the two crates are driven at the same time

    run.connected = connectController(crateSettings().fCmdLine);
    run.usbSerialSeen = usbSerial();
    run.found = channelState().channelTable.foundCount;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        if (!channelPresent(channel)) continue;
        run.present.push_back(channel);
        uint8_t bytes[4] = {};
        if (moduleRead(moduleAddressByte(channel), kSystemConfigBase, 0, bytes, 4) == 4) {
            uint32_t serial = 0;
            std::memcpy(&serial, bytes, 4);
            run.serialsRead.push_back(serial);
        }
    }
    for (int tick = 0; tick < 40; ++tick) pollingTick();
    run.switched = sendSwitchCommand(moduleAddressByte(run.switchChannel), kSwitchOn) >= 0;
    for (const vsim::Module* module : sim.controller().modules())
        if (module->outputOn()) run.outputsOnInTheSimulator.push_back(module->channel());
    run.ticks = pollingCycle().tickCount;
    run.retries = linkState().commProblem.readRetries + linkState().commProblem.writeRetries;
    usbClose();
    setBridge(nullptr);
}

TEST(TwoCrates, EachThreadDrivesItsOwnCrateSideBySide) {
    VirtualClock clock;
    setClock(&clock);
    CountingOperator seam;  // never cancels: what each crate ends with does not depend on the other's timing
    const ScopedOperatorSeam seamInstalled(seam);
    CrateRun a{.bridgeSerial = "A1",
               .channels = {0, 1, 2, 3},
               .serialBase = 1000,
               .faults = R"({"kind": "noReply", "everyNth": 7})",
               .switchChannel = 1};
    CrateRun b{
        .bridgeSerial = "B1", .channels = {5, 6}, .serialBase = 2000, .faults = "", .switchChannel = 6};
    std::latch bothBound(2);
    std::thread first([&] { drive(a, bothBound); });
    std::thread second([&] { drive(b, bothBound); });
    first.join();
    second.join();
    setClock(nullptr);

    // Expected from each scenario alone.
    EXPECT_TRUE(a.connected);
    EXPECT_TRUE(b.connected);
    EXPECT_EQ(a.usbSerialSeen, "A1");
    EXPECT_EQ(b.usbSerialSeen, "B1");
    EXPECT_EQ(a.found, 4u);
    EXPECT_EQ(b.found, 2u);
    EXPECT_EQ(a.present, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(b.present, (std::vector<int>{5, 6}));
    EXPECT_EQ(a.serialsRead, (std::vector<uint32_t>{1000, 1001, 1002, 1003}));
    EXPECT_EQ(b.serialsRead, (std::vector<uint32_t>{2005, 2006}));
    EXPECT_TRUE(a.switched);
    EXPECT_TRUE(b.switched);
    EXPECT_EQ(a.outputsOnInTheSimulator, (std::vector<int>{1}));
    EXPECT_EQ(b.outputsOnInTheSimulator, (std::vector<int>{6}));
    EXPECT_EQ(a.ticks, 40u);
    EXPECT_EQ(b.ticks, 40u);
    // Only crate A's line drops replies: its retries are its own.
    EXPECT_GT(a.retries, 0u);
    EXPECT_EQ(b.retries, 0u);
}

// A thread that was given no crate is stopped at its first touch of crate state, with a message,
// rather than reaching some other crate.
TEST(TwoCratesDeathTest, AThreadWithoutACrateStopsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::thread unbound([] { (void)crateSettings().fCmdLine; });
            unbound.join();
        },
        "used on a thread that has no crate bound");
}

}  // namespace
}  // namespace vz
