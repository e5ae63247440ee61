// The update sequence against the virtual crate's processor: it reads the identity and versions
// through the boot loader, programs a new image so that the controller restarts with it and answers
// module access again, and stops cleanly where the link or the flash fails.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "link/link_capture.h"
#include "tests/controller_update/controller_update_fixture.h"

namespace vz {
namespace {

TEST_F(ControllerUpdateTest, ReadsIdentityAndVersionsAndHandsTheLinkBack) {
    ASSERT_TRUE(controllerAnswers());
    ASSERT_TRUE(update->readDevice()) << log;
    EXPECT_TRUE(pollingStopped());
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
    for (const char* line :
         {"Erase the flash (mask 0x03FC)\n", "  Erase sector C: done\n", "  Erase sector J: done\n",
          "Flash erased sucessfully\n", "\nProgram OK\n", "\nVerify OK\n", "*** Resetting TMS320 ***"})
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
    EXPECT_FALSE(pollingStopped());
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
    EXPECT_TRUE(contains("Refused: the image has words in sectors C, J, which are not erased")) << log;
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
    EXPECT_NE(crate->dsp(0).state(), vsim::Tms320State::ControllerFirmware)
        << "half a firmware does not boot";
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
    EXPECT_TRUE(contains("Inserted Checksum at 0x3F3FF2"))
        << "the 2.x boot loader checks the current layout\n"
        << log;
    ASSERT_TRUE(update->run(ControllerUpdateSteps{})) << log;
    EXPECT_TRUE(controllerAnswers());
}

// With VZ_PCAP the boot-loader link goes into the capture too: the reset lines and the serial bytes
// each way, so that a failed update can be sent in as it happened.
TEST_F(ControllerUpdateTest, TheBootLoaderTrafficAndTheResetLinesAreCaptured) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("boot_capture_" + std::to_string(getpid()) + ".pcapng"))
            .string();
    std::string error;
    ASSERT_TRUE(startLinkCapture(path, error)) << error;
    ASSERT_TRUE(update->readDevice()) << log;
    update->reset();
    stopLinkCapture();

    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    auto le32 = [&b](size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    };
    std::vector<std::vector<uint8_t>> lines;  // interface 3
    std::vector<uint8_t> sent, received;      // interface 2, by direction (flags 2 out, 1 in)
    for (size_t at = 0; at + 12 <= b.size();) {
        const uint32_t type = le32(at), length = le32(at + 4);
        ASSERT_TRUE(length >= 12 && at + length <= b.size());
        if (type == 6) {
            const uint32_t interfaceId = le32(at + 8), captured = le32(at + 20);
            const std::vector<uint8_t> data(b.begin() + at + 28, b.begin() + at + 28 + captured);
            const size_t option = at + 28 + (captured + 3) / 4 * 4;
            const bool inbound = b[option] == 2 && le32(option + 4) == 1;
            if (interfaceId == 3) lines.push_back(data);
            if (interfaceId == 2)
                (inbound ? received : sent)
                    .insert((inbound ? received : sent).end(), data.begin(), data.end());
        }
        at += length;
    }
    // Reset into the ROM boot loader, then the restart from flash.
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], (std::vector<uint8_t>{1, 1}));
    EXPECT_EQ(lines[1], (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(lines[lines.size() - 2], (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(lines.back(), (std::vector<uint8_t>{0, 0}));
    // Autobaud and the boot header go out, echoed byte for byte.
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 3), (std::vector<uint8_t>{'A', 0xAA, 0x08}));
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(received.begin(), received.begin() + 3),
              (std::vector<uint8_t>{'A', 0xAA, 0x08}));
}

}  // namespace
}  // namespace vz
