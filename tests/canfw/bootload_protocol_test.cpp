// The boot-loader client against the virtual crate's modules: identification, versions, starting
// either firmware, and the replies it refuses.
#include <gtest/gtest.h>

#include "tests/canfw/updater_fixture.h"

namespace vz::test {
namespace {

class BootloadProtocol : public UpdaterFixture {};

TEST_F(BootloadProtocol, IdentifiesVersionsAndStartsEitherFirmware) {
    connect();
    const DeviceInfo d = identify(1);
    EXPECT_EQ(d.deviceID, 0x0101u);
    EXPECT_EQ(d.procID, 1u);
    EXPECT_EQ(d.revisionNr, 1u);
    EXPECT_EQ(d.dot, 2u);
    EXPECT_STREQ(d.name, "dsPIC30F4011");
    EXPECT_EQ(d.family, 0);
    const DeviceInfo unknown = identify(3);
    EXPECT_STREQ(unknown.name, "dsPIC30F3012");  // in the table, without a layout

    messages.clear();
    updater->queueReadVersion(1, false);
    updater->queueReadVersion(1, true);
    updater->queueReadRunningType(1);
    updater->queueStartFirmware(1, true);
    updater->queueReadRunningType(1);
    const std::string log = runJobs();
    ASSERT_EQ(messages.size(), 8u) << log;
    EXPECT_EQ(messages[1].kind, kMsgBootVersion);
    EXPECT_STREQ(reinterpret_cast<const char*>(messages[1].data.data()),
                 "1.4.0.0   Build time: 09:15:00 02.03.2026");
    EXPECT_STREQ(reinterpret_cast<const char*>(messages[3].data.data()), "2.0.0.0");
    EXPECT_EQ(messages[4].kind, kMsgRunningType);
    EXPECT_EQ(messages[4].value(), 2u);  // the application runs
    EXPECT_EQ(messages[7].value(), 1u);  // after the start: the boot loader
    EXPECT_NE(log.find("Bootloader started (iModuleId=0x001)\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Info: Bootloader started\r\n"), std::string::npos);
}

TEST_F(BootloadProtocol, RefusedCommandsAndBadBuffersFailWithTheirLines) {
    // Module 2's buffer comes back once with its last byte changed (the piece at 0xD008).
    connect(
        R"({"kind": "corruptBuffer", "channel": 2, "operation": "readAddr", "address": 53256, "count": 1})");
    int error = 0;
    // An application refuses memory commands; memory beyond the flash answers 4.
    updater->queueStartFirmware(1, true);
    runJobs();
    std::string log;
    struct Collect : UpdaterReceiver {
        std::string* log;
        void post(UpdaterMessage m) override {
            if (m.kind == kMsgLog) *log += m.text();
        }
    } collect;
    collect.log = &log;
    updater->closeUpdater();  // the calls below run on this thread
    updater->startWorker(collect);
    updater->closeUpdater();
    EXPECT_FALSE(updater->client().sendCommand(1, 0x02, 0x9000, 96, nullptr, &error));
    EXPECT_EQ(error, 4);
    EXPECT_NE(
        log.find("Error: command failed (iModuleId=1, iCmd=0x02, iAdr=0x009000, iSize=96, iError=4)\r\n"),
        std::string::npos);

    uint8_t bytes[8];
    ASSERT_TRUE(updater->client().sendCommand(1, 0x09, 0, 0));
    EXPECT_EQ(updater->client().receiveData(1, 0x0B, bytes, 8), 0);  // another command's reply
    EXPECT_NE(log.find("Error: buffer holds unknown/invalid data (iCmd=11, iSize=10, pHeader->cmd=9, "),
              std::string::npos);
    EXPECT_NE(log.find("iSum=0)\r\n"), std::string::npos);

    log.clear();
    ASSERT_TRUE(updater->client().sendCommand(2, 0x09, 0, 0));
    EXPECT_EQ(updater->client().receiveData(2, 0x09, bytes, 8), 0);
    EXPECT_NE(log.find("Error: buffer holds unknown/invalid data (iCmd=9, iSize=10, pHeader->cmd=9, "),
              std::string::npos)
        << log;
    ASSERT_TRUE(updater->client().sendCommand(2, 0x09, 0, 0));
    EXPECT_EQ(updater->client().receiveData(2, 0x09, bytes, 8), 8);  // the fault fired once
    EXPECT_EQ(bytes[0], 0x41);

    log.clear();
    const uint32_t v = 5;
    EXPECT_FALSE(updater->client().setParameter(1, 1, 0, &v, &error));
    EXPECT_FALSE(updater->client().setParameter(1, 1, 8, &v, &error));
    EXPECT_EQ(log, "  P1 [0] type unsupported\r\n  P1 [8] type unsupported\r\n");
}

}  // namespace
}  // namespace vz::test
