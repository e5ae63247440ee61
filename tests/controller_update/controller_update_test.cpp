// The update sequence against the virtual crate's processor: it reads the identity and versions
// through the boot loader, programs a new image so that the controller restarts with it and answers
// module access again, and stops cleanly where the link or the flash fails.
#include "ctrlfw/controller_update.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "base/polling_state.h"
#include "base/settings.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/tms320.h"
#include "sim/virtual_crate.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

const std::string kExamples = VZ_CONTROLLER_FIRMWARE;

class ControllerUpdateTest : public test::CrateFixture {
  protected:
    void SetUp() override {
        CrateFixture::SetUp();
        setenv("VIDIZOZOREZ_FIRMWARE_PATH", kExamples.c_str(), 1);
        portName = "SIM";  // the stand-in access firmware goes to the virtual crate only
        useScenario(test::oneBridgeScenario(R"({"channel": 1, "serialNumber": 101})", "", dspJson()));
        ASSERT_TRUE(usbOpen(usbInfo));
        bindDirectOperations();
        const PrgInterface* prg = nullptr;
        ASSERT_EQ(PrgGetInterface(&prg), 0);
        update = std::make_unique<ControllerUpdate>(*prg);
        update->setLogSink([this](const std::string& t) { log += t; });
    }
    void TearDown() override {
        update.reset();
        unsetenv("VIDIZOZOREZ_FIRMWARE_PATH");
        CrateFixture::TearDown();
    }
    virtual std::string dspJson() const { return ""; }
    // A module access read that only a running controller answers.
    bool controllerAnswers() {
        uint8_t b[8];
        return moduleRead(0x81, 0x1000, 0, b, 8) == 8;
    }
    bool contains(const std::string& text) const { return log.find(text) != std::string::npos; }

    std::unique_ptr<ControllerUpdate> update;
    std::string log;
};

TEST_F(ControllerUpdateTest, ReadsIdentityAndVersionsAndHandsTheLinkBack) {
    ASSERT_TRUE(controllerAnswers());
    ASSERT_TRUE(update->readDevice()) << log;
    EXPECT_TRUE(pollingStopped);
    EXPECT_EQ(update->partText(), "F281x(1)");
    EXPECT_EQ(update->revisionText(), "C/D");
    EXPECT_EQ(update->currentFirmware(), "VELK-FW 3.07    ");
    EXPECT_EQ(update->currentBootloader(), "VELK-BL 2.03    ");
    EXPECT_TRUE(contains("Target is executing ROM boot loader\r\n")) << log;
    EXPECT_TRUE(contains("Connected at 115200 baud\r\n")) << log;
    EXPECT_TRUE(contains("Part F281x(1), Rev C/D\n")) << log;
    EXPECT_EQ(crate->dsp(0).state(), vsim::Tms320State::AccessFirmware);
    update->reset();
    EXPECT_TRUE(controllerAnswers()) << log;
}

TEST_F(ControllerUpdateTest, AFullUpdateRestartsTheControllerWithTheNewVersion) {
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    EXPECT_EQ(update->imageType(), 2);
    EXPECT_EQ(update->newImageText(), "VELK-FW 3.10    ");
    std::vector<int> progress;
    update->setProgressSink([&](UpdateStep step, int, int) { progress.push_back(static_cast<int>(step)); });
    ASSERT_TRUE(update->run(ControllerUpdateSteps{})) << log;
    for (const char* line : {"Erase the flash (mask 0x03FC)\n", "  Erase sector C: done\n",
                             "  Erase sector J: done\n", "Flash erased sucessfully\n", "\nProgram OK\n",
                             "\nVerify OK\n", "*** Resetting TMS320 ***"})
        EXPECT_TRUE(contains(line)) << line << "\n" << log;
    EXPECT_FALSE(contains("Erase sector A")) << "the boot loader stays";
    for (int step : {0, 1, 2}) EXPECT_NE(std::find(progress.begin(), progress.end(), step), progress.end());
    EXPECT_TRUE(controllerAnswers()) << "the new firmware's checksum is right: the controller boots";

    log.clear();
    ASSERT_TRUE(update->readDevice()) << log;
    EXPECT_EQ(update->currentFirmware(), "VELK-FW 3.10    ");
    EXPECT_EQ(update->currentBootloader(), "VELK-BL 2.03    ");
    update->reset();
}

TEST_F(ControllerUpdateTest, AMissingAccessFirmwareStopsBeforeTheProcessorIsTouched) {
    setenv("VIDIZOZOREZ_FIRMWARE_PATH", "/nonexistent", 1);
    setenv("PATH", "/nonexistent", 1);  // restored by nobody: the test program needs no PATH afterwards
    ASSERT_FALSE(update->readDevice());
    EXPECT_TRUE(contains("Unnable to find boot loader file \"F2812SerialFlash.out\", Error 2\r\n")) << log;
    EXPECT_FALSE(pollingStopped);
    EXPECT_TRUE(controllerAnswers());
}

TEST_F(ControllerUpdateTest, ProgrammingOverUnerasedFlashFailsVerify) {
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    ControllerUpdateSteps steps;
    steps.eraseFirmware = false;
    EXPECT_FALSE(update->run(steps));
    EXPECT_TRUE(contains("\nProgram OK\n")) << log;
    EXPECT_TRUE(contains("FlashVerify ERROR") || contains("Verify Failed")) << log;
    EXPECT_TRUE(contains("Failed flash verify!!!\n")) << log;
    // The image stays prepared: the operator runs it again with the erase.
    ASSERT_TRUE(update->prepared());
    log.clear();
    EXPECT_TRUE(update->run(ControllerUpdateSteps{})) << log;
    EXPECT_TRUE(controllerAnswers());
}

TEST_F(ControllerUpdateTest, ALostAcknowledgementFailsTheStepAndARepeatedRunSucceeds) {
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    crate->dsp(0).addFault({vsim::DspFaultKind::LostAck, 3, uint16_t{11}});
    EXPECT_FALSE(update->run(ControllerUpdateSteps{}));
    EXPECT_TRUE(contains("Failed flash programming!!!\n")) << log;
    EXPECT_FALSE(contains("Verify the flash:")) << "the sequence stops at the failed step";
    EXPECT_TRUE(contains("*** Resetting TMS320 ***")) << log;
    EXPECT_NE(crate->dsp(0).state(), vsim::Tms320State::ControllerFirmware) << "half a firmware does not boot";
    log.clear();
    EXPECT_TRUE(update->run(ControllerUpdateSteps{})) << log;
    EXPECT_TRUE(controllerAnswers());
}

TEST_F(ControllerUpdateTest, ALostEchoDuringTheDownloadFailsTheConnection) {
    crate->dsp(0).addFault({vsim::DspFaultKind::LostEcho, 30, std::nullopt});
    EXPECT_FALSE(update->readDevice());
    EXPECT_TRUE(contains("    Failed to load boot code\r\n")) << log;
    EXPECT_EQ(update->currentFirmware(), "Illegal Version!");
    update->reset();
    EXPECT_TRUE(controllerAnswers()) << "the processor restarts from its untouched flash";
}

class BlankControllerTest : public ControllerUpdateTest {
  protected:
    std::string dspJson() const override { return R"("dsp": {"blank": true})"; }
};

// A controller whose flash was erased gets its boot loader and then its firmware, and boots again.
TEST_F(BlankControllerTest, BootLoaderThenFirmwareBringsABlankControllerBack) {
    EXPECT_NE(crate->dsp(0).state(), vsim::Tms320State::ControllerFirmware);
    ASSERT_TRUE(update->readDevice()) << log;
    EXPECT_TRUE(contains("  Device BOOT firmware not programmed\r\n")) << log;
    EXPECT_TRUE(contains("  Device FIRMWARE: Not programmed with valid software")) << log;

    ASSERT_TRUE(update->prepare(kExamples + "/demo-bootloader-2.05.out")) << log;
    EXPECT_EQ(update->imageType(), 1);
    EXPECT_TRUE(contains("Bootloader image detected, skip checksum\n")) << log;
    ControllerUpdateSteps bootLoaderOnly;
    bootLoaderOnly.eraseFirmware = false;
    bootLoaderOnly.eraseBootloader = true;
    ASSERT_TRUE(update->run(bootLoaderOnly)) << log;
    EXPECT_TRUE(contains("  Erase sector A: done\n")) << log;

    log.clear();
    ASSERT_TRUE(update->readDevice()) << log;
    EXPECT_EQ(update->currentBootloader(), "VELK-BL 2.05    ");
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    EXPECT_TRUE(contains("Inserted Checksum at 0x3F3FF2")) << "the 2.x boot loader checks the current layout\n" << log;
    ASSERT_TRUE(update->run(ControllerUpdateSteps{})) << log;
    EXPECT_TRUE(controllerAnswers());
}

}  // namespace
}  // namespace vz
