// vzctl ctrl: the controller's processor read and programmed through its boot loader, a controller
// that cannot be reached, and files and words that are refused before the processor is touched.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/coff_writer.h"
#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

const std::string kExamples = VZ_CONTROLLER_FIRMWARE;

class VzctlCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("VIDIZOZOREZ_FIRMWARE_PATH", kExamples.c_str(), 1);
        dir = std::filesystem::temp_directory_path() / ("vzctl_ctrl_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        unsetenv("VIDIZOZOREZ_FIRMWARE_PATH");
    }
    std::string scenario(const std::string& dsp) {
        const std::string path = (dir / "crate.json").string();
        std::ofstream(path) << R"({"bridges": [{"serial": "C1", "vid": "1A2B", "pid": "0012"}],
          "controller": {"type": 18, "lineRate": false, "dsp": {)"
                            << dsp << R"(}},
          "modules": [{"channel": 1, "serialNumber": 101}]})";
        return "SIM:" + path;
    }
    // A crate whose flash persists in a file from one vzctl run to the next.
    std::string keptCrate() { return scenario(R"("flashFile": ")" + flashPath().string() + R"(")"); }
    std::filesystem::path flashPath() const { return dir / "flash.bin"; }
    // The kept flash, 0x3D8000 first.
    std::vector<uint16_t> keptFlash() const {
        std::ifstream in(flashPath(), std::ios::binary);
        std::vector<uint16_t> words;
        for (int lo, hi; (lo = in.get()) != EOF && (hi = in.get()) != EOF;)
            words.push_back(static_cast<uint16_t>(lo | (hi << 8)));
        return words;
    }
    // Sectors [first, end) of the kept flash.
    std::vector<uint16_t> part(const std::vector<uint16_t>& flash, uint32_t first, uint32_t end) const {
        if (flash.size() != 0x20000) return {};
        return {flash.begin() + (first - 0x3D8000), flash.begin() + (end - 0x3D8000)};
    }
    // The 16 characters of the version block at address, or "" when it is not valid.
    static std::string versionText(const std::vector<uint16_t>& flash, uint32_t address) {
        if (flash.size() != 0x20000 || flash[address - 0x3D8000 + 7] != 0x480E) return "";
        std::string text;
        for (uint32_t i = 8; i < 16; ++i) {
            const uint16_t w = flash[address - 0x3D8000 + i];
            text += static_cast<char>(w & 0xFF);
            text += static_cast<char>(w >> 8);
        }
        return text;
    }
    // The crate starts: its controller answers, and with it the module search.
    bool crateRuns() {
        const Outcome status = vzctl("-S -s2 " + keptCrate() + " status");
        return status.status == 0 && status.out.find("U1") != std::string::npos;
    }
    std::filesystem::path dir;
};

TEST_F(VzctlCtrlTest, InfoAndAFullProgramRun) {
    const Outcome info = vzctl(scenario("") + " ctrl info");
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("part id      F281x(1)\nrevision     C/D\nfirmware     VELK-FW 3.07    \n"
                            "boot loader  VELK-BL 2.03    \n"),
              std::string::npos)
        << info.out;

    const Outcome program = vzctl(scenario("") + " ctrl program " + kExamples + "/demo-firmware-3.10.out");
    ASSERT_EQ(program.status, 0) << program.out;
    for (const char* line : {"Connected at 115200 baud", "Erase the flash (mask 0x03FC)", "Program OK",
                             "Verify OK", "*** Resetting TMS320 ***", "programmed ", "(VELK-FW 3.10    )"})
        EXPECT_NE(program.out.find(line), std::string::npos) << line << "\n" << program.out;
    EXPECT_NE(program.out.find("program: "), std::string::npos) << "progress lines off a terminal";
}

TEST_F(VzctlCtrlTest, ABlankControllerIsProgrammedWithoutAModuleSearch) {
    const Outcome program = vzctl(scenario(R"("blank": true)") + " ctrl program --erase-bootloader " +
                                  kExamples + "/demo-bootloader-2.05.out");
    ASSERT_EQ(program.status, 0) << program.out;
    EXPECT_NE(program.out.find("Bootloader image detected, skip checksum"), std::string::npos) << program.out;
    EXPECT_NE(program.out.find("Erase sector A: done"), std::string::npos) << program.out;
}

TEST_F(VzctlCtrlTest, FailuresEndWithStatusOneAndTheProcessorRestarted) {
    const Outcome echo = vzctl(scenario(R"("faults": [{"kind": "lostEcho", "nth": 30}])") + " ctrl info");
    EXPECT_EQ(echo.status, 1) << echo.out;
    EXPECT_NE(echo.out.find("Failed to load boot code"), std::string::npos) << echo.out;
    EXPECT_NE(echo.out.find("*** Resetting TMS320 ***"), std::string::npos) << echo.out;

    const Outcome ack = vzctl(scenario(R"("faults": [{"kind": "lostAck", "nth": 3, "command": 11}])") +
                              " ctrl program " + kExamples + "/demo-firmware-3.10.out");
    EXPECT_EQ(ack.status, 1) << ack.out;
    EXPECT_NE(ack.out.find("Failed flash programming!!!"), std::string::npos) << ack.out;
    EXPECT_NE(ack.out.find("vzctl: the update failed (see above); program it again"), std::string::npos)
        << ack.out;

    setenv("VIDIZOZOREZ_FIRMWARE_PATH", dir.c_str(), 1);
    const Outcome missing = vzctl(scenario("") + " ctrl info");
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_NE(missing.out.find("Unnable to find boot loader file \"F2812SerialFlash.out\""),
              std::string::npos)
        << missing.out;
}

TEST_F(VzctlCtrlTest, BadWordsAndFilesAreRefusedBeforeTheProcessorIsTouched) {
    const std::string text = (dir / "notes.txt").string();
    std::ofstream(text) << "not a COFF file\n";
    struct Case {
        std::string words;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"ctrl", 2, "usage: ctrl info|program"},
        {"ctrl flash", 2, "usage: ctrl info|program"},
        {"ctrl info now", 2, "usage: ctrl info"},
        {"ctrl program", 2, "usage: ctrl program FILE"},
        {"ctrl program a.out --fast", 2, "usage: ctrl program FILE"},
        {"ctrl program a.out --dry", 2, "[--erase-firmware] [--no-verify] [--dry-run]"},
        {"ctrl program " + dir.string(), 1, "is a directory, not a file"},
        {"ctrl program " + (dir / "missing.out").string(), 1, "no such file"},
    };
    for (const Case& c : cases) {
        const Outcome r = vzctl(scenario("") + " " + c.words);
        EXPECT_EQ(r.status, c.status) << c.words << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.words << "\n" << r.out;
        EXPECT_EQ(r.out.find("ROM boot loader"), std::string::npos) << c.words << "\n" << r.out;
    }
    const Outcome notCoff = vzctl(scenario("") + " ctrl program " + text);
    EXPECT_EQ(notCoff.status, 1) << notCoff.out;
    EXPECT_NE(notCoff.out.find("the file is refused: seek or read error, or a short header (COFF code -102)"),
              std::string::npos)
        << notCoff.out;
    EXPECT_EQ(notCoff.out.find("Erase the flash"), std::string::npos) << notCoff.out;
}

constexpr uint32_t kFirmwareSectors = 0x3D8000, kBootSectors = 0x3F4000, kFlashEnd = 0x3F8000;

// The documented boot-loader update: sectors A and B only, the firmware stays, the crate runs.
TEST_F(VzctlCtrlTest, ABootLoaderUpdateKeepsTheFirmwareAndTheCrateRuns) {
    ASSERT_EQ(vzctl(keptCrate() + " ctrl info").status, 0);
    const std::vector<uint16_t> before = keptFlash();
    ASSERT_EQ(before.size(), 0x20000u);

    const Outcome r = vzctl(keptCrate() + " ctrl program " + kExamples + "/demo-bootloader-2.05.out");
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* line :
         {"Plan: boot-loader image \"VELK-BL 2.05    \"", "erase sectors A, B (mask 0x0003)",
          "afterwards the controller runs its firmware", "; the controller runs"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("Erase sector C"), std::string::npos) << r.out;
    const std::vector<uint16_t> after = keptFlash();
    EXPECT_EQ(part(after, kFirmwareSectors, kBootSectors), part(before, kFirmwareSectors, kBootSectors));
    EXPECT_EQ(versionText(after, 0x3F7F70), "VELK-BL 2.05    ");
    EXPECT_TRUE(crateRuns());

    // Asked for, the firmware goes too: a good run that says the controller cannot start.
    const Outcome erased =
        vzctl(keptCrate() + " ctrl program --erase-firmware " + kExamples + "/demo-bootloader-2.05.out");
    ASSERT_EQ(erased.status, 0) << erased.out;
    EXPECT_NE(erased.out.find("the controller does not start: the firmware sectors C-J are erased"),
              std::string::npos)
        << erased.out;
    EXPECT_EQ(part(keptFlash(), kFirmwareSectors, kBootSectors),
              std::vector<uint16_t>(kBootSectors - kFirmwareSectors, 0xFFFF));
    EXPECT_FALSE(crateRuns());
}

// Refused before the processor's flash is touched: words over a boot loader that stays, an image
// without words in the flash. The flash stays as it was and the crate runs.
TEST_F(VzctlCtrlTest, RefusedImagesLeaveTheFlashAsItWas) {
    const std::string hostile = (dir / "hostile.out").string(), outside = (dir / "outside.out").string();
    ASSERT_TRUE(vztest::writeCoffFile(hostile, {},
                                      {{".text", 0x3D8000, std::vector<uint16_t>(64, 0x1234)},
                                       {".patch", 0x3F7F70, std::vector<uint16_t>(16, 0x1111)},
                                       {".fwversion", 0x3F3FF5, vztest::versionWords("VELK-FW 6.66")}}));
    ASSERT_TRUE(vztest::writeCoffFile(outside, {},
                                      {{".text", 0x008000, std::vector<uint16_t>(64, 0x1234)},
                                       {".fwversion", 0x3F8000, vztest::versionWords("VELK-FW 6.66")}}));
    ASSERT_EQ(vzctl(keptCrate() + " ctrl info").status, 0);
    const std::vector<uint16_t> before = keptFlash();
    struct Case {
        std::string args;
        std::string says;
    };
    const Case cases[] = {
        {hostile, "Refused: the image has words in sector A, which is not erased"},
        {outside, "the file is refused: Trying to program 0 words"},
        {hostile + " --dry-run", "the plan is refused (see above); nothing was erased or written"},
    };
    for (const Case& c : cases) {
        const Outcome r = vzctl(keptCrate() + " ctrl program " + c.args);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("Erase the flash"), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(keptFlash(), before) << c.args;
    }
    EXPECT_TRUE(crateRuns());
}

// In one shell: a boot-loader update, then the processor's versions, then the live crate.
TEST_F(VzctlCtrlTest, TheShellProgramsReadsAndReconnects) {
    const std::string script = (dir / "script.txt").string();
    std::ofstream(script) << "ctrl program " << kExamples << "/demo-bootloader-2.05.out\nctrl info\nstatus\n";
    const Outcome r = vzctl("-S -s2 " + scenario("") + " shell < " + script);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("; the controller runs"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("firmware     VELK-FW 3.07    \nboot loader  VELK-BL 2.05    \n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("U1"), std::string::npos) << r.out;
}

TEST_F(VzctlCtrlTest, ADryRunPrintsThePlanAndWritesNothing) {
    ASSERT_EQ(vzctl(keptCrate() + " ctrl info").status, 0);
    const std::vector<uint16_t> before = keptFlash();
    const Outcome r = vzctl(keptCrate() + " ctrl program --dry-run " + kExamples + "/demo-firmware-3.10.out");
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* line : {"Plan: firmware image \"VELK-FW 3.10    \"", "erase sectors C-J (mask 0x03FC)",
                             "write ", "verify 0x3D8000-", "dry run: "})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    EXPECT_EQ(r.out.find("Erase the flash"), std::string::npos) << r.out;
    EXPECT_EQ(keptFlash(), before);
}

}  // namespace
}  // namespace vz::test
