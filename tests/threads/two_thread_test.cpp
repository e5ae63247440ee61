// Two threads on one link, as when the module updater's worker runs beside the GUI thread: every
// exchange keeps its own reply, counters add up, and shared state is read safely while it changes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/core/connection.h"
#include "app/core/crate_session.h"
#include "app/core/polling.h"
#include "app/core/title.h"
#include "base/clock.h"
#include "base/crate_binding.h"
#include "base/debug_log.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/module_memory_map.h"
#include "channel/switch_commands.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/virtual_crate.h"
#include "tests/threads/counting_operator.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz {
namespace {

class TwoThreads : public ::testing::Test {
  protected:
    void SetUp() override {
        setClock(&clock_);
        setOperatorSeam(&seam);
        resetProcessState();
    }
    void TearDown() override {
        usbClose();
        setBridge(nullptr);
        resetProcessState();
        setOperatorSeam(nullptr);
        setClock(nullptr);
    }
    void openCrate(const std::string& faults) {
        std::string modules;
        for (int i = 0; i < 4; ++i)
            modules += std::string(i ? "," : "") + R"({"channel": )" + std::to_string(i) +
                       R"(, "serialNumber": )" + std::to_string(1000 + i) +
                       R"(, "firmware": {"name": "DEVIZ 5V"}})";
        std::string error;
        auto crate = vsim::VirtualCrate::fromJsonText(
            R"({"seed": 7, "bridges": [{"serial": "T1", "vid": "1A2B", "pid": "0012"}],
                "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
                "modules": [)" +
                modules + R"(], "faults": [)" + faults + "]}",
            error);
        ASSERT_TRUE(crate) << error;
        driver_ = std::make_unique<VirtualBridgeDriver>(std::move(crate));
        setBridge(driver_.get());
        crateSettings().fCmdLine |= kSkipSlip;
        crateSettings().searchLimit = 4;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        ASSERT_EQ(channelState().channelTable.foundCount, 4u);
    }

    VirtualClock clock_;
    CountingOperator seam;
    std::unique_ptr<VirtualBridgeDriver> driver_;
};

// The worker reads each module's serial number again and again while the GUI thread polls and
// switches: with faults on the line, each side retries its own exchanges and never takes the other's.
TEST_F(TwoThreads, WorkerExchangesWhileTheGuiThreadPollsAndSwitches) {
    openCrate(R"({"kind": "noReply", "everyNth": 9}, {"kind": "corruptCheck", "everyNth": 13})");
    std::atomic<int> wrongSerials{0}, failedReads{0};
    std::thread worker([&, crate = boundCrate()] {
        const CrateBinding binding(crate);  // the worker works on the GUI thread's crate
        for (int round = 0; round < 150; ++round) {
            const int channel = round % 4;
            uint8_t bytes[4] = {};
            if (moduleRead(moduleAddressByte(channel), kSystemConfigBase, 0, bytes, 4) != 4) {
                ++failedReads;
                continue;
            }
            uint32_t serial;
            std::memcpy(&serial, bytes, 4);
            if (serial != 1000u + static_cast<uint32_t>(channel)) ++wrongSerials;
        }
    });
    int switched = 0;
    for (int tick = 0; tick < 150; ++tick) {
        pollingTick();
        if (sendSwitchCommand(moduleAddressByte(tick % 4), tick % 2 ? kSwitchOn : kSwitchOff) >= 0)
            ++switched;
        (void)titleText("");
    }
    worker.join();
    EXPECT_EQ(wrongSerials, 0);
    EXPECT_EQ(failedReads, 0);  // retried until good: the operator never cancelled
    EXPECT_EQ(switched, 150);
    EXPECT_GT(linkState().commProblem.readRetries + linkState().commProblem.writeRetries, 0u);
    EXPECT_FALSE(linkState().commProblem.abort);
}

// A write that fails makes the link reconnect (a new handle, the serial read again) on the worker,
// while the GUI thread builds titles from the serial number.
TEST_F(TwoThreads, ReconnectOnTheWorkerWhileTheTitleIsRead) {
    openCrate(R"({"kind": "writeFail", "everyNth": 5})");
    std::atomic<bool> done{false};
    std::thread worker([&, crate = boundCrate()] {
        const CrateBinding binding(crate);  // the worker works on the GUI thread's crate
        for (int i = 0; i < 60; ++i) {
            uint8_t bytes[4];
            moduleRead(moduleAddressByte(i % 4), kSystemConfigBase, 0, bytes, 4);
        }
        done = true;
    });
    std::set<std::string> titles;
    while (!done) titles.insert(titleText(""));
    worker.join();
    for (const auto& t : titles) EXPECT_NE(t.find("(T1)"), std::string::npos) << t;
    EXPECT_EQ(usbSerial(), "T1");
}

TEST_F(TwoThreads, DebugLogLinesStayWholeFromTwoThreads) {
    std::mutex linesMutex;
    std::vector<std::string> lines;
    setDebugLogOutput([&](std::string_view line) {
        std::lock_guard lock(linesMutex);
        lines.emplace_back(line);
    });
    auto writer = [](char tag) {
        for (int i = 0; i < 300; ++i) debugLog(kLogDebug, "%c line %d %c", tag, i, tag);
    };
    std::thread other(writer, 'B');
    writer('A');
    other.join();
    setDebugLogOutput(nullptr);
    int a = 0, b = 0;
    for (const auto& l : lines) {
        if (l.find("A line ") != std::string::npos && l.find(" A") != std::string::npos) ++a;
        if (l.find("B line ") != std::string::npos && l.find(" B") != std::string::npos) ++b;
    }
    EXPECT_EQ(a, 300);
    EXPECT_EQ(b, 300);
}

TEST_F(TwoThreads, WaitingOnAConditionAdvancesVirtualTime) {
    std::atomic<bool> ready{false};
    std::thread setter([&] {
        clock_.sleepUs(250'000);  // virtual: returns at once
        ready = true;
    });
    const int64_t start = clock_.nowUs();
    EXPECT_TRUE(clock_.waitFor([&] { return ready.load(); }, 60'000'000));
    setter.join();
    EXPECT_LT(clock_.nowUs() - start, 60'000'000);
    const int64_t before = clock_.nowUs();
    EXPECT_FALSE(clock_.waitFor([] { return false; }, 2'000'000, 10'000));
    EXPECT_GE(clock_.nowUs() - before, 2'000'000);
}

}  // namespace
}  // namespace vz
