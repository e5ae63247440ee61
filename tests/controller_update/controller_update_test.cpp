// The update sequence against the virtual crate's processor: it reads the identity and versions
// through the boot loader, programs a new image so that the controller restarts with it and answers
// module access again, and stops cleanly where the link or the flash fails.
#include "tests/controller_update/controller_update_fixture.h"

namespace vz {
namespace {

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

// Programming can only clear bits: a firmware image over its sectors left unerased is refused before
// anything is written, and the controller keeps running the firmware it had.
TEST_F(ControllerUpdateTest, AFirmwareOverUnerasedSectorsIsRefusedAndNothingIsTouched) {
    const std::vector<uint16_t> before = flash();
    ASSERT_TRUE(update->readDevice()) << log;
    ASSERT_TRUE(update->prepare(kExamples + "/demo-firmware-3.10.out")) << log;
    ControllerUpdateSteps steps;
    steps.eraseFirmware = false;
    EXPECT_FALSE(update->run(steps));
    EXPECT_TRUE(update->refused());
    EXPECT_FALSE(update->flashTouched());
    EXPECT_TRUE(contains("Refused: the image has words in sectors C-J")) << log;
    EXPECT_FALSE(contains("Program the flash")) << log;
    EXPECT_EQ(flash(), before);
    EXPECT_TRUE(controllerAnswers());
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
