// vzctl can on a QX308 crate: list, backup, program with the demo firmware, and the refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/vzctl/module_hex_file.h"
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
    static void writeScenario(const std::string& path, int type, const std::string& pid,
                              const std::string& faults = "") {
        std::ofstream(path) << R"({"bridges": [{"serial": "Q1", "vid": "1A2B", "pid": ")" << pid << R"("}],
          "controller": {"type": )"
                            << type << R"(, "lineRate": false, "canTimeoutMs": 5, "cacheChannels": 12},
          "modules": [{"channel": 1, "serialNumber": 101, "processor": "dsPIC30F4011",
                       "application": {"version": "2.0.0.0", "rows": 24}},
                      {"channel": 2, "serialNumber": 102, "processor": "dsPIC30F3012"},
                      {"channel": 3, "serialNumber": 103, "processor": "dsPIC30F4013"}],
          "faults": [)" << faults
                            << "]}";
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

// SIGTERM and SIGHUP in the middle of a backup stop it at the next row as Ctrl+C does: exit 1, no
// file, and the module back in its application. The wire runs at line rate, so the backup lasts long
// after its first progress line.
TEST_F(VzctlCanTest, TermAndHangUpStopABackupAtItsNextRow) {
    std::string text;
    {
        std::ifstream in(scenario);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t at = text.find("\"lineRate\": false");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 17, "\"lineRate\": true");
    const std::string slow = (dir / "slow.json").string();
    std::ofstream(slow) << text;
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const std::string bex = (dir / ("stopped" + std::to_string(signal) + ".bex")).string();
        const Outcome r = vzctlSignalled("-S SIM:" + slow + " can backup 1 " + bex, "backup: ", signal);
        EXPECT_EQ(r.status, 1) << r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
        EXPECT_NE(r.out.find("vzctl: stopping at the next safe point"), std::string::npos) << r.out.substr(0, 3000);
        EXPECT_NE(r.out.find("vzctl: backup of U1 stopped; no file written; U1 runs its application"),
                  std::string::npos)
            << r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
        EXPECT_FALSE(std::filesystem::exists(bex));
    }
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

// A backup that failed is no backup: exit 1, and an earlier file of that name stays as it was.
TEST_F(VzctlCanTest, ABackupThatFailedSaysSoAndKeepsTheEarlierFile) {
    const std::string bex = (dir / "earlier.bex").string();
    std::ofstream(bex) << "the earlier backup\n";
    const std::string broken = (dir / "broken.json").string();
    writeScenario(
        broken, 16, "0010",
        R"({"kind": "corruptBuffer", "channel": 1, "operation": "readAddr", "address": 53256, "after": 40, "count": 1})");
    const Outcome failed = vzctl("-S SIM:" + broken + " can backup 1 " + bex);
    EXPECT_EQ(failed.status, 1) << failed.out.substr(0, 2000);
    EXPECT_NE(failed.out.find("Error: receive FLASH-data failed"), std::string::npos);
    EXPECT_NE(failed.out.find(
                  "vzctl: backup of U1 failed (see the log above); no file written, the earlier file is "
                  "unchanged; U1 runs its application"),
              std::string::npos)
        << failed.out.substr(failed.out.size() > 2000 ? failed.out.size() - 2000 : 0);
    EXPECT_EQ(failed.out.find("backup written"), std::string::npos);
    std::ifstream in(bex);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "the earlier backup");

    // Devices and pipes are refused before the module is asked anything.
    const std::string fifo = (dir / "pipe.bex").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& target : {fifo, std::string("/dev/full")}) {
        const Outcome r = vzctl(port() + " can backup 1 " + target);
        EXPECT_EQ(r.status, 1) << target << r.out;
        EXPECT_NE(r.out.find(target + ": not a regular file"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Device found"), std::string::npos) << r.out;
    }
}

// backup, another firmware, restore, in one session: the module runs its application again, with the
// version the scenario gave it; restore refuses another processor's backup and a firmware file.
TEST_F(VzctlCanTest, RestoreBringsBackTheApplicationTheBackupHolds) {
    const std::string bex = (dir / "u1.bex").string(), other = (dir / "other_FW.HEX").string(),
                      bex4013 = (dir / "u3.bex").string();
    writeModuleHex(other, {{1005, 2, 2}}, 0x100, 4, 8, 0x5A);
    std::ofstream((dir / "script.txt").string())
        << "can backup 1 " << bex << "\ncan backup 3 " << bex4013 << "\ncan program 1 " << other
        << "\ncan list\ncan restore 1 " << bex4013 << "\ncan restore 1 " << other << "\ncan restore 1 " << bex
        << "\ncan list\n";
    const Outcome r = vzctl(port() + " shell < " + (dir / "script.txt").string());
    const std::string tail = r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
    EXPECT_EQ(r.status, 1) << tail;  // the two refused restores
    EXPECT_NE(r.out.find("U1: programmed with " + other + "; its application runs"), std::string::npos)
        << tail;
    const size_t restored = r.out.find("U1: restored from " + bex + "; its application runs");
    ASSERT_NE(restored, std::string::npos) << tail;
    const size_t firstList = r.out.find("U1   dsPIC30F4011");
    ASSERT_NE(firstList, std::string::npos);
    const std::string programmedLine = r.out.substr(firstList, r.out.find('\n', firstList) - firstList);
    EXPECT_EQ(programmedLine.find("application 2.0.0.0"), std::string::npos)
        << "the other firmware did not change the version record: " << programmedLine;
    EXPECT_NE(
        r.out.find("U1   dsPIC30F4011    boot loader 1.4.0.0  application 2.0.0.0  running: application",
                   restored),
        std::string::npos)
        << tail;
    EXPECT_NE(
        r.out.find(
            "Error: backup of another processor (deviceId=0x0141, procID=1), the module has "
            "deviceId=0x0101; nothing was written\nvzctl: nothing was written; U1 runs its application"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Error: not a backup file"), std::string::npos);
}

// The program-memory job's failure is the restore's verdict, whatever the EEPROM job would say.
TEST_F(VzctlCanTest, ARestoreWhoseProgramMemoryFailedExitsWithOne) {
    const std::string bex = (dir / "u1.bex").string(), broken = (dir / "broken.json").string();
    ASSERT_EQ(vzctl(port() + " can backup 1 " + bex).status, 0);
    // A reply spoilt while the restore compares the module's rows with the backup.
    writeScenario(
        broken, 16, "0010",
        R"({"kind": "corruptBuffer", "channel": 1, "operation": "readAddr", "address": 53256, "after": 40, "count": 1})");
    const Outcome r = vzctl("-S SIM:" + broken + " can restore 1 " + bex);
    const std::string tail = r.out.substr(r.out.size() > 2000 ? r.out.size() - 2000 : 0);
    EXPECT_EQ(r.status, 1) << tail;
    EXPECT_NE(r.out.find("Error: Write of device-memory (FLASH) failed"), std::string::npos) << tail;
    EXPECT_EQ(r.out.find(" EM: "), std::string::npos) << tail;  // the EEPROM job never ran
    EXPECT_NE(r.out.find("vzctl: restoring U1 failed (see the log above); nothing was written; U1 runs its "
                         "application"),
              std::string::npos)
        << tail;
    EXPECT_EQ(r.out.find("restored from"), std::string::npos);
}

// The kind of firmware is the operator's (the name, or --kind); a file whose own type disagrees, or
// that does not fit the module, is refused while the application still runs.
TEST_F(VzctlCanTest, ProgramRefusalsComeBeforeTheBootLoaderStarts) {
    auto file = [&](const std::string& name, std::vector<ModuleHexParameter> parameters,
                    bool gotoFirst = true) {
        const std::string path = (dir / name).string();
        writeModuleHex(path, parameters, gotoFirst ? 0x100 : 0, 4, 6, 0x33);
        return path;
    };
    const std::string bootLoaderAsApp = file("boot_FW.HEX", {{1005, 2, 1}});
    const std::string bootLoader = file("loader_BL.HEX", {{1005, 2, 1}});
    const std::string noType = file("plain_FW.HEX", {});
    const std::string noGoto = file("nogoto_FW.HEX", {{1005, 2, 2}}, false);
    const std::string noRange = file("norange_FW.HEX", {{1005, 2, 2}, {1004, 2, 0}});
    const std::string for4011 = file("for4011_FW.HEX", {{1005, 2, 2}, {1003, 2, 0x0101}});
    const std::string unnamed = file("unnamed.hex", {{1005, 2, 2}});
    struct Case {
        std::string words;
        std::string says;
    } cases[] = {
        {"can program 1 " + bootLoaderAsApp, "Error: HEX-File not enriched or wrong firmware type"},
        {"can program 1 " + bootLoader, "a boot loader is programmed from the module's update application"},
        {"can program 1 " + bootLoaderAsApp + " --kind application",
         "Error: HEX-File not enriched or wrong firmware type"},
        {"can program 1 " + noType, "Error: HEX-File not enriched or wrong firmware type"},
        {"can program 1 " + noGoto, "Error: Extraction of application start-address failed"},
        {"can program 1 " + noRange, "Error: program-memory location-detection is set to OFF"},
        {"can program 3 " + for4011,
         "Error: connected device is incompatible with HEX-file (deviceId=0x0141, deviceFamilyHex=0x0101)"},
        {"can program 2 " + for4011, "Error: unknown/unsupported device"},
        {"can program 1 " + unnamed, "the name does not tell the kind of firmware"},
        {"can backup 2 " + (dir / "u2.bex").string(), "cannot be backed up (unknown/unsupported device)"},
    };
    for (const Case& c : cases) {
        const Outcome r = vzctl(port() + " " + c.words);
        EXPECT_EQ(r.status, 1) << c.words << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.words << "\n" << r.out;
        EXPECT_EQ(r.out.find("Bootloader started"), std::string::npos) << c.words << "\n" << r.out;
        EXPECT_EQ(r.out.find(" PM: "), std::string::npos) << c.words << "\n" << r.out;
    }
    EXPECT_EQ(vzctl(port() + " can program 1 " + unnamed + " --kind firmware").status, 2);
}

// A damaged file is refused whole, naming its bad lines; so is a file cut off before its end.
TEST_F(VzctlCanTest, DamagedFilesAreRefusedNamingTheirBadLines) {
    const std::string good = (dir / "good_FW.HEX").string();
    writeModuleHex(good, {{1005, 2, 2}}, 0x100, 4, 6, 0x21);
    std::ifstream in(good);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_GT(lines.size(), 12u);
    const std::string bad = (dir / "bad_FW.HEX").string(), cut = (dir / "cut_FW.HEX").string();
    {
        std::ofstream out(bad);
        for (size_t i = 0; i < lines.size(); ++i)
            out << (i == 4 || i == 9 ? lines[i].substr(1) : lines[i]) << "\n";
        std::ofstream c(cut);
        for (size_t i = 0; i + 1 < lines.size(); ++i) c << lines[i] << "\n";
    }
    const Outcome b = vzctl(port() + " can program 1 " + bad);
    EXPECT_EQ(b.status, 1);
    EXPECT_NE(b.out.find(bad + ": HEX-file damaged (bad lines 5, 10); nothing was written"),
              std::string::npos)
        << b.out;
    const Outcome c = vzctl(port() + " can program 1 " + cut);
    EXPECT_EQ(c.status, 1);
    EXPECT_NE(
        c.out.find(cut + ": HEX-file damaged (no end record, the file is cut off); nothing was written"),
        std::string::npos)
        << c.out;
    EXPECT_EQ(c.out.find("Device found"), std::string::npos);
}

}  // namespace
}  // namespace vz::test
