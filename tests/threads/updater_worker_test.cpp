// The module updater's worker beside the GUI thread: jobs queued during a long programming run wait
// their turn, the polling timer keeps ticking without reading channels, and closing the updater in
// the middle of a run stops it between two rows and drops the jobs still queued.
#include "canfw/updater_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/core/connection.h"
#include "app/core/crate_session.h"
#include "app/core/polling.h"
#include "base/clock.h"
#include "base/operator_seam.h"
#include "base/polling_state.h"
#include "base/settings.h"
#include "canfw/updater_mailbox.h"
#include "channel/channel_table.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/virtual_crate.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz {
namespace {

class SilentOperator final : public OperatorSeam {
  public:
    BoxAnswer messageBox(const BoxRequest&) override { return BoxAnswer::Ok; }
    int chooseUsbDevice(const std::vector<UsbChoice>&) override { return -1; }
    void commProblemOpen(const std::string&) override {}
    bool commProblemPump() override { return true; }
    void commProblemClose() override {}
    void setTitle(const std::string&) override {}
    void beep(Beep) override {}
    void removeMenuCommand(int) override {}
    [[noreturn]] void endProcess(int) override { std::abort(); }
};

class UpdaterWorker : public ::testing::Test {
  protected:
    void SetUp() override {
        setClock(&clock_);
        setOperatorSeam(&seam_);
        resetProcessState();
        std::string error;
        auto crate = vsim::VirtualCrate::fromJsonText(
            R"({"bridges": [{"serial": "T1", "vid": "1A2B", "pid": "0012"}],
                "controller": {"type": 18, "lineRate": false, "canTimeoutMs": 1},
                "modules": [{"channel": 0, "serialNumber": 100}, {"channel": 1, "serialNumber": 101,
                             "running": "bootloader"}]})",
            error);
        ASSERT_TRUE(crate) << error;
        driver_ = std::make_unique<VirtualBridgeDriver>(std::move(crate));
        setBridge(driver_.get());
        crateSettings().fCmdLine |= kSkipSlip;
        crateSettings().searchLimit = 2;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    }
    void TearDown() override {
        usbClose();
        setBridge(nullptr);
        resetProcessState();
        setOperatorSeam(nullptr);
        setClock(nullptr);
    }
    static DeviceInfo dsPic30F4011() {
        DeviceInfo d;
        d.family = 0;
        d.deviceID = 0x0101;
        d.procID = 1;
        d.iModuleId = 1;
        return d;
    }
    // Drains the mailbox on this (the GUI) thread, ticking the polling timer meanwhile.
    std::string serve(CWorkerUpdateDlg& updater, UpdaterMailbox& mailbox, std::vector<int>& kinds) {
        std::string log;
        while (updater.queuedJobs() != 0 || kinds.empty()) {
            pollingTick();
            while (auto m = mailbox.take(1)) {
                if (m->kind == kMsgLog)
                    log += m->text();
                else
                    kinds.push_back(m->kind);
            }
            if (updater.queuedJobs() == 0) break;
        }
        while (auto m = mailbox.take(0))
            if (m->kind != kMsgLog) kinds.push_back(m->kind);
        return log;
    }

    VirtualClock clock_;
    SilentOperator seam_;
    std::unique_ptr<VirtualBridgeDriver> driver_;
};

TEST_F(UpdaterWorker, JobsQueuedDuringProgrammingWaitTheirTurnWhilePollingTicks) {
    UpdaterMailbox mailbox;
    std::vector<int> kinds;
    {
        CWorkerUpdateDlg updater;
        EXPECT_FALSE(crateSettings().pollingEnabled);
        updater.startWorker(mailbox);
        updater.queueProgram(dsPic30F4011(), kProgramMemory, VZ_TEST_DATA "/DEMO4011_2.2.0.0_FW.HEX", false,
                             false, false);
        updater.queueReadRunningType(1);  // queued while the programming runs
        updater.queueReadRunningType(1);
        const std::string log = serve(updater, mailbox, kinds);
        EXPECT_NE(log.find("Start application ..\r\n : done\r\n"), std::string::npos) << log.substr(0, 2000);
        updater.closeUpdater();
    }
    EXPECT_TRUE(crateSettings().pollingEnabled);
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_EQ(kinds[0], kMsgProgrammed);  // in queue order: each job after the one before
    EXPECT_EQ(kinds[1], kMsgRunningType);
    EXPECT_EQ(kinds[2], kMsgRunningType);
}

// Virtual time that holds the worker at its first pause once three rows are written, until the
// updater is asked to close: the close then meets the run between two rows however fast or slow the
// machine is.
class HoldingClock final : public Clock {
  public:
    HoldingClock(VirtualClock& time, CWorkerUpdateDlg& updater) : time_(time), updater_(updater) {}
    int64_t nowUs() override { return time_.nowUs(); }
    int64_t localWallUs() override { return time_.localWallUs(); }
    void sleepUs(int64_t us) override {
        time_.sleepUs(us);
        if (updater_.progress().done < 3 || held_.exchange(true)) return;
        const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!updater_.cancelRequested() && std::chrono::steady_clock::now() < bound)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool held() const { return held_; }

  private:
    VirtualClock& time_;
    CWorkerUpdateDlg& updater_;
    std::atomic<bool> held_{false};
};

TEST_F(UpdaterWorker, ClosingStopsARunBetweenTwoRowsAndDropsTheQueuedJobs) {
    UpdaterMailbox mailbox;
    CWorkerUpdateDlg updater;
    HoldingClock holding(clock_, updater);
    setClock(&holding);
    struct Restore {  // the worker ends before the clock it uses, on every way out of the test
        CWorkerUpdateDlg& updater;
        VirtualClock& time;
        ~Restore() {
            updater.closeUpdater();
            setClock(&time);
        }
    } restore{updater, clock_};
    updater.startWorker(mailbox);
    updater.queueProgram(dsPic30F4011(), kProgramMemory, VZ_TEST_DATA "/DEMO4011_2.2.0.0_FW.HEX", false,
                         false, false);
    updater.queueStartFirmware(1, false);
    const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!holding.held() && std::chrono::steady_clock::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(holding.held()) << "the programming run did not get going";
    updater.closeUpdater();
    EXPECT_EQ(updater.queuedJobs(), 0u);
    std::string log;
    bool started = false;
    while (auto m = mailbox.take(0)) {
        if (m->kind == kMsgLog) log += m->text();
        started = started || m->kind == kMsgStarted;
    }
    EXPECT_NE(log.find("Error: Programming stopped by request after "), std::string::npos)
        << log.substr(0, 2000);
    EXPECT_FALSE(started);  // the start job was dropped, not run
}

}  // namespace
}  // namespace vz
