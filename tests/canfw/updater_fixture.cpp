#include "tests/canfw/updater_fixture.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/core/connection.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "sim/module.h"

namespace vz::test {

std::string updaterModules() {
    return R"({"channel": 1, "serialNumber": 101, "processor": "dsPIC30F4011",
               "bootLoader": {"version": "1.4.0.0", "built": "2026-03-02 09:15:00"},
               "application": {"version": "2.0.0.0", "rows": 24}},
              {"channel": 2, "serialNumber": 102, "processor": "dsPIC30F4013"},
              {"channel": 3, "serialNumber": 103, "processor": "dsPIC30F3012"},
              {"channel": 4, "serialNumber": 104, "processor": "dsPIC30F4011",
               "bootLoader": {"version": "1.4.0.0", "built": "2026-03-02 09:15:00"}, "application": "none"})";
}

void UpdaterFixture::TearDown() {
    if (updater) updater->closeUpdater();
    updater.reset();
    CrateFixture::TearDown();
}

void UpdaterFixture::connect(const std::string& faults) {
    useScenario(oneBridgeScenario(updaterModules(), faults, R"("canTimeoutMs": 10)"));
    crateSettings().fCmdLine |= kSkipSlip;
    crateSettings().searchLimit = 6;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    ASSERT_EQ(channelState().channelTable.foundCount, 4u);
    updater = std::make_unique<CWorkerUpdateDlg>();
    updater->startWorker(mailbox);
}

std::string UpdaterFixture::runJobs() {
    std::string log;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(240);  // only a hang reaches it
    for (;;) {
        const bool idle = updater->queuedJobs() == 0;
        while (auto m = mailbox.take(idle ? 0 : 5)) {
            if (m->kind == kMsgLog)
                log += m->text();
            else
                messages.push_back(std::move(*m));
        }
        if (idle) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "jobs did not end";
            break;
        }
    }
    return log;
}

DeviceInfo UpdaterFixture::identify(int channel) {
    messages.clear();
    updater->queueIdentify(channel);
    runJobs();
    DeviceInfo d = moduleOnly(channel);
    for (const auto& m : messages)
        if (m.kind == kMsgDeviceFound && m.data.size() == sizeof d) std::memcpy(&d, m.data.data(), sizeof d);
    return d;
}

vsim::BootFirmware& UpdaterFixture::firmware(int channel) {
    return crate->controller().module(channel)->bootFirmware();
}

std::string UpdaterFixture::tempPath(const std::string& name) const {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + info->name() + "_" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string demoFirmware() {
    return std::string(VZ_TEST_DATA) + "/DEMO4011_2.2.0.0_FW.HEX";
}

}  // namespace vz::test
