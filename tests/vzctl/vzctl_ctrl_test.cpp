// vzctl ctrl: the controller's processor read and programmed through its boot loader, a controller
// that cannot be reached, and files and words that are refused before the processor is touched.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

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
          "controller": {"type": 18, "lineRate": false, "dsp": {)" << dsp << R"(}},
          "modules": [{"channel": 1, "serialNumber": 101}]})";
        return "SIM:" + path;
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
    const Outcome program = vzctl(scenario(R"("blank": true)") + " ctrl program --erase-bootloader " + kExamples +
                                  "/demo-bootloader-2.05.out");
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
    EXPECT_NE(ack.out.find("vzctl: the update failed (see above); program it again"), std::string::npos) << ack.out;

    setenv("VIDIZOZOREZ_FIRMWARE_PATH", dir.c_str(), 1);
    const Outcome missing = vzctl(scenario("") + " ctrl info");
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_NE(missing.out.find("Unnable to find boot loader file \"F2812SerialFlash.out\""), std::string::npos)
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
    EXPECT_NE(notCoff.out.find("no controller firmware image"), std::string::npos) << notCoff.out;
    EXPECT_EQ(notCoff.out.find("Erase the flash"), std::string::npos) << notCoff.out;
}

}  // namespace
}  // namespace vz::test
