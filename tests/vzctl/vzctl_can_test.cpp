// vzctl can on a QX308 crate: list, backup, program with the demo firmware, and the refusals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/vzctl/vzctl_runner.h"

namespace vz::test {
namespace {

class VzctlCanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("vzctl_can_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        scenario = (dir / "qx308.json").string();
        writeScenario(scenario, 16, "0010");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    static void writeScenario(const std::string& path, int type, const std::string& pid) {
        std::ofstream(path) << R"({"bridges": [{"serial": "Q1", "vid": "1A2B", "pid": ")" << pid << R"("}],
          "controller": {"type": )"
                            << type << R"(, "lineRate": false, "canTimeoutMs": 5, "cacheChannels": 12},
          "modules": [{"channel": 1, "serialNumber": 101, "processor": "dsPIC30F4011",
                       "application": {"version": "2.0.0.0", "rows": 24}},
                      {"channel": 2, "serialNumber": 102, "processor": "dsPIC30F3012"}]})";
    }
    std::string port() const { return "-S SIM:" + scenario; }
    std::filesystem::path dir;
    std::string scenario;
};

TEST_F(VzctlCanTest, ListsBacksUpAndPrograms) {
    const Outcome list = vzctl(port() + " can list");
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_NE(
        list.out.find("U1   dsPIC30F4011    boot loader 1.4.0.0  application 2.0.0.0  running: application"),
        std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("U2   dsPIC30F3012   (not supported)"), std::string::npos);

    const std::string bex = (dir / "m1.bex").string();
    const Outcome backup = vzctl(port() + " can backup 1 " + bex);
    ASSERT_EQ(backup.status, 0) << backup.out.substr(0, 2000);
    // The plain progress lines: which counts appear depends on the pace of the job, their order does not.
    const std::vector<int> counts = progressCounts(backup.out, "backup", 551);
    ASSERT_FALSE(counts.empty()) << backup.out.substr(0, 3000);
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()) &&
                std::adjacent_find(counts.begin(), counts.end()) == counts.end())
        << backup.out.substr(0, 3000);
    EXPECT_EQ(counts.back(), 551);
    EXPECT_NE(backup.out.find("U1: backup written to " + bex), std::string::npos);
    EXPECT_TRUE(std::filesystem::file_size(bex) > 10000);

    const Outcome named = vzctl(port() + " can backup 1 " + dir.string());
    EXPECT_EQ(named.status, 0);
    EXPECT_NE(named.out.find("U1: backup written to " + dir.string() + "/000001_dsPIC30F_"),
              std::string::npos);

    const Outcome program =
        vzctl(port() + " can program 1 " + std::string(VZ_TEST_DATA) + "/DEMO4011_2.2.0.0_FW.HEX");
    ASSERT_EQ(program.status, 0) << program.out.substr(program.out.size() > 3000 ? program.out.size() - 3000
                                                                                 : 0);
    EXPECT_NE(program.out.find("Start application ..\r\n : done"), std::string::npos);
    EXPECT_NE(program.out.find("program: 35 of 35 rows"), std::string::npos);

    const Outcome refused =
        vzctl(port() + " can program 2 " + std::string(VZ_TEST_DATA) + "/DEMO4011_2.2.0.0_FW.HEX");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("Error: unknown/unsupported device"), std::string::npos) << refused.out;
}

TEST_F(VzctlCanTest, OnlyQx308CratesAndWellFormedCommands) {
    const std::string krat = (dir / "krat.json").string();
    writeScenario(krat, 18, "0012");
    const Outcome other = vzctl("-S SIM:" + krat + " can list");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.out.find("module firmware updates are offered for QX308 controllers only"),
              std::string::npos);
    EXPECT_EQ(vzctl(port() + " can start 1 everything").status, 2);
    EXPECT_EQ(vzctl(port() + " can backup 200 x.bex").status, 2);
}

// A wrong file is named before the module is asked anything: no boot loader started, nothing written.
TEST_F(VzctlCanTest, FilesThatCannotServeAreRefusedBeforeTheModuleIsTouched) {
    const std::string text = (dir / "notes in ä folder.txt").string();
    std::ofstream(text) << "no HEX records here\n";
    struct Case {
        std::string words;
        std::string says;
    };
    const Case cases[] = {
        {"can program 1 " + dir.string(), "is a directory, not a file"},
        {"can restore 1 '" + text + "'", "not an Intel HEX firmware file; nothing was written"},
        {"can program 1 " + (dir / "missing.hex").string(), "no such file"},
        {"can backup 1 " + (dir / "no" / "such" / "dir.bex").string(), "cannot write into"},
    };
    for (const Case& c : cases) {
        const Outcome r = vzctl(port() + " " + c.words);
        EXPECT_EQ(r.status, 1) << c.words << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.words << "\n" << r.out;
        EXPECT_EQ(r.out.find("Device found"), std::string::npos) << c.words << "\n" << r.out;
    }
}

}  // namespace
}  // namespace vz::test
