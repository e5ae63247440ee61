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
    EXPECT_FALSE(controllerAnswers()) << "the processor runs its boot loader, not the controller firmware";
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

}  // namespace
}  // namespace vz
