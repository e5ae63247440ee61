// Traces on the virtual crate in virtual time: the start header, the wait, the read-out mark, the
// special status and a module that stops answering; and what the samples of each mode become.
#include "trace/trace_acquisition.h"

#include <gtest/gtest.h>

#include "app/core/connection.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/module_discovery.h"
#include "channel/switch_commands.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/controller.h"
#include "tests/support/crate_fixture.h"

namespace vz::test {
namespace {

// 12 V at 100 V/s: the ramp takes 120 ms, longer than a mode 1 trace (82 ms) is.
const char* kRampingModule = R"({"channel": 0, "serialNumber": 7,
  "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
  "user": {"idGroup": 1, "Unom": "12 V", "Inom": "10 A", "rampUp": 100}})";

class TraceAcquisitionTest : public CrateFixture {
  protected:
    void connect(const std::string& faults = "") {
        useScenario(oneBridgeScenario(kRampingModule, faults));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
        applyControllerLimits(crateSettings().fCmdLine);
        bindDirectOperations();
        ASSERT_EQ(discoverModules(), 1);
    }
    const vsim::TraceRecorder& recorder() { return crate->controller(0).module(0)->trace(); }
    // Samples of series `row` of a mode 1 or 2 buffer.
    static int16_t sample(const TraceBuffer& b, int row, int i) {
        return static_cast<int16_t>(b[16 + 200 * row + 2 * i] | (b[17 + 200 * row + 2 * i] << 8));
    }
    TraceBuffer buffer{};
    std::vector<std::pair<int, int>> progress;
    TraceProgress record = [this](int recorded, int needed) {
        progress.emplace_back(recorded, needed);
        return true;
    };
};

TEST_F(TraceAcquisitionTest, TraceDuringARampRisesToTheSetVoltage) {
    connect();
    ASSERT_GT(sendSwitchCommand(moduleAddressByte(0), 1), 0);
    clock_.advanceUs(60'000);  // half way up
    ASSERT_EQ(acquireTrace(0, 1, 100, buffer, record), TraceOutcome::complete);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(buffer[2] | (buffer[3] << 8), 100);
    for (int i = 1; i < 100; ++i) ASSERT_GE(sample(buffer, 0, i), sample(buffer, 0, i - 1)) << i;
    EXPECT_NEAR(sample(buffer, 0, 0), 6 * 2048, 0.2 * 2048);
    EXPECT_EQ(sample(buffer, 0, 99), 12 * 2048) << "the ramp ends within the trace";
    EXPECT_EQ(sample(buffer, 1, 99), 12 * 2048) << "no load: the module voltage equals the sense voltage";
    // Started from idle with 01 00 00 00, one pause for the 100 samples, then marked read out.
    EXPECT_EQ(progress.front(), std::make_pair(0, 100));
    EXPECT_EQ(progress.back(), std::make_pair(100, 100));
    EXPECT_EQ(recorder().read(2, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
}

TEST_F(TraceAcquisitionTest, ReadOutRecordingIsRestartedAndWaitsForTheNewSamples) {
    connect();
    ASSERT_EQ(acquireTrace(0, 3, 50, buffer, record), TraceOutcome::complete);
    progress.clear();
    // The last recording (mode 3) was read out: the same start header again, 50 new samples.
    ASSERT_EQ(acquireTrace(0, 3, 100, buffer, record), TraceOutcome::complete);
    EXPECT_EQ(progress.front(), std::make_pair(0, 50)) << "a mode 3 recording holds 50 samples";
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[2] | (buffer[3] << 8), 50);
    const uint32_t t1First =
        buffer[4] | (buffer[5] << 8) | (buffer[6] << 16) | (static_cast<uint32_t>(buffer[7]) << 24);
    const uint32_t t1Second =
        buffer[8] | (buffer[9] << 8) | (buffer[10] << 16) | (static_cast<uint32_t>(buffer[11]) << 24);
    EXPECT_EQ(t1Second - t1First, 40000u) << "one sync period of 1 ms at 40 MHz";
}

TEST_F(TraceAcquisitionTest, SpecialStatusIsReportedAndTheSamplesKept) {
    connect();
    const auto start = traceStartHeader(2);
    ASSERT_EQ(moduleWrite(moduleAddressByte(0), 0, kTraceBufferAddress, start.data(), 4), 4);
    clock_.advanceUs(10'000);
    const uint8_t modeAndStatus[2] = {2, 0x12};
    ASSERT_EQ(moduleWrite(moduleAddressByte(0), 0, kTraceBufferAddress, modeAndStatus, 2), 2);
    // A complete recording that was not read yet is taken as it is, without a pause.
    ASSERT_EQ(acquireTrace(0, 3, 50, buffer, record), TraceOutcome::complete);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{100, 50}}));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, "Special Trace Status 0x12");
}

TEST_F(TraceAcquisitionTest, SilentModuleOrStoppedWaitEndsTheTrace) {
    connect(R"({"kind": "moduleError", "channel": 0, "operation": "readAddr", "address": "0x0F002"})");
    EXPECT_EQ(acquireTrace(0, 1, 100, buffer, [](int, int) { return false; }), TraceOutcome::stopped);
    EXPECT_TRUE(seam.boxes.empty());
    // The recording runs on; the count can no longer be read.
    EXPECT_EQ(acquireTrace(0, 1, 100, buffer, record), TraceOutcome::noAnswer);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, "Trace of U0 stopped: the module did not answer.");
}

TEST(TraceBuffer, SamplesByMode) {
    TraceBuffer b{};
    auto put16 = [&](int at, int16_t v) {
        b[static_cast<std::size_t>(at)] = static_cast<uint8_t>(v);
        b[static_cast<std::size_t>(at + 1)] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    };
    b[0] = 1;
    for (int i = 0; i < 100; ++i) {
        put16(16 + 2 * i, static_cast<int16_t>(1000 + i));
        put16(416 + 2 * i, -512);
    }
    Graph mode1 = makeTraceGraph(1);
    fillTraceGraph(mode1, b, -10, -9);
    EXPECT_EQ(mode1.curves[0].values[0], 0.9765625);
    EXPECT_EQ(mode1.curves[2].values[0], -1.0);
    EXPECT_EQ(mode1.curves[0].maximum, 1099.0 / 1024);

    Graph mode2 = makeTraceGraph(2);
    b[0] = 2;
    fillTraceGraph(mode2, b, -10, -9);
    EXPECT_EQ(mode2.curves[0].values[99], 1099.0) << "mode 2 as recorded";

    // A mode 1 buffer in a graph laid out for mode 3: the first 50 samples of rows 0 to 2.
    Graph sync = makeTraceGraph(3);
    b[0] = 1;
    fillTraceGraph(sync, b, -10, -9);
    EXPECT_EQ(sync.curves[0].count(), 50u);
    EXPECT_EQ(sync.curves[0].values[49], 1049.0 / 1024);

    TraceBuffer s{};
    s[0] = 3;
    for (int i = 0; i < 4; ++i) s[4 + static_cast<std::size_t>(i)] = 0xFF;    // row 0, sample 0
    for (int i = 0; i < 4; ++i) s[404 + static_cast<std::size_t>(i)] = 0xFF;  // row 2, sample 0
    fillTraceGraph(sync, s, -10, -9);
    EXPECT_EQ(sync.curves[0].values[0], 4294967295.0);
    EXPECT_EQ(sync.curves[2].values[0], -1.0);
    EXPECT_EQ(sync.curves[1].values[0], 0.0);
}

TEST(TraceBuffer, TitlesAndNames) {
    EXPECT_EQ(makeTraceGraph(1).title, "DEVIZ Trace (100 Values, 82.08 ms)");
    EXPECT_EQ(makeTraceGraph(2).title, "DEVIZ Trace (100 Values,  5.13 ms)");
    EXPECT_EQ(makeTraceGraph(3).title, "DEVIZ Trace Sync (50 Values)");
    EXPECT_EQ(makeTraceGraph(2).curves[1].name, "uModule (HWI)");
    EXPECT_EQ(makeTraceGraph(1).curves[3].name, "Y3");
    EXPECT_EQ(makeTraceGraph(3).curves[1].name, "Z1 Zeit (QNL, korrigiert)");
}

}  // namespace
}  // namespace vz::test
