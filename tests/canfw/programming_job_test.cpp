// The programming job on virtual modules: what it writes, what it never writes, and what it refuses
// before anything is erased.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "canfw/firmware_hex_reader.h"
#include "canfw/hex_record.h"
#include "tests/canfw/updater_fixture.h"

namespace vz::test {
namespace {

class ProgrammingJob : public UpdaterFixture {
  protected:
    // Identifies the module, starts its boot loader and programs the file.
    std::string program(int channel, const std::string& path, bool bootloaderFile = false,
                        bool overwrite = false) {
        const DeviceInfo d = identify(channel);
        updater->queueStartFirmware(channel, true);
        updater->queueProgram(d, kProgramMemory, path, bootloaderFile, overwrite, false);
        messages.clear();
        return runJobs();
    }
    uint32_t fileInstruction(uint32_t deviceAddress) {
        RowImage rows;
        ParameterMap parameters;
        loadFirmwareHex(demoFirmware(), 0, rows, parameters, [](const std::string&) {});
        const MemoryRow& r = rows[deviceAddress / 64];
        const size_t at = 2 * (deviceAddress % 64);
        return r.words[at] | r.words[at + 1] << 8 | r.words[at + 2] << 16;
    }
};

TEST_F(ProgrammingJob, WritesTheApplicationKeepsTheBootLoadersRowsAndRunsIt) {
    connect();
    const uint32_t blVector = firmware(1).instruction(0x80);
    const std::string log = program(1, demoFirmware());
    ASSERT_NE(log.find("Start application ..\r\n : done\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" start address BL:  0x7E00\r\n start address APP: 0x0100\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Start-address of application (detected): 0x000100\r\n"), std::string::npos);
    EXPECT_NE(log.find(" xM: 0x000080 (96 bytes) skipped (protected memory)\r\n"), std::string::npos);
    EXPECT_NE(log.find(" xM: 0x007C00 (96 bytes) skipped (protected memory)\r\n"), std::string::npos);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().kind, kMsgProgrammed);

    vsim::BootFirmware& m = firmware(1);
    EXPECT_EQ(m.instruction(0), 0x047E00u);  // the reset GOTO still leads to the boot loader
    EXPECT_EQ(m.instruction(0x80), blVector);
    EXPECT_EQ(m.instruction(0xC0), firmware(4).instruction(0xC0));
    EXPECT_EQ(m.instruction(0x7C00), 0xFFFFFFu);  // the configuration range stays as it was
    for (uint32_t a : {0x04u, 0x40u, 0x100u, 0x180u, 0x7FEu})
        EXPECT_EQ(m.instruction(a), fileInstruction(a)) << a;
    EXPECT_EQ(m.parameter(1), 0x100u);
    EXPECT_EQ(m.parameter(2), 29u * 96u);  // rows 5 to 33 of the firmware range
    EXPECT_EQ(m.parameter(4), 0x37u);      // the file's device parameter

    clock_.advanceUs(200000);  // the processor restarts into the new application
    updater->queueReadVersion(1, true);
    updater->queueReadRunningType(1);
    messages.clear();
    runJobs();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_STREQ(reinterpret_cast<const char*>(messages[1].data.data()),
                 "2.2.0.0   Build time: 08:30:00 20.11.2026");
    EXPECT_EQ(messages[2].value(), 2u);  // the new application runs
}

TEST_F(ProgrammingJob, TheConfigurationRangeIsWrittenOnlyWhenOverwritingWasChosen) {
    connect();
    const std::string log = program(1, demoFirmware(), false, true);
    EXPECT_NE(
        log.find("Warning: system configuration of device maybe will be overwritten (reason: user input, "
                 "range=0x007C00 - 0x007C3F)\r\n"),
        std::string::npos);
    EXPECT_EQ(firmware(1).instruction(0x7C00), 0x00C0DEu);
}

TEST_F(ProgrammingJob, FilesThatDoNotFitAreRefusedBeforeAnythingIsWritten) {
    connect();
    const std::string plain = tempPath("plain.hex");
    {
        std::ifstream in(demoFirmware());
        std::ofstream out(plain);
        for (std::string line; std::getline(in, line);)
            if (line.substr(7, 2) != "D1") out << line << "\n";
    }
    struct Case {
        int channel;
        std::string path;
        bool bootloaderFile;
        const char* line;
    } cases[] = {
        {2, demoFirmware(), false,
         "Error: connected device is incompatible with HEX-file (deviceId=0x0141, "
         "deviceFamilyHex=0x0101)\r\n"},
        {1, demoFirmware(), true, "Error: HEX-File not enriched or wrong firmware type\r\n"},
        {1, plain, false, "Error: HEX-File not enriched or wrong firmware type\r\n"},
        {3, demoFirmware(), false, "Error: unknown/unsupported device\r\n"},
        {1, "/nonexistent/x.hex", false, "Error: Error while opening file (error=2)\r\n"},
    };
    for (const Case& c : cases) {
        const uint32_t before = firmware(c.channel).instruction(0x100);
        const std::string log = program(c.channel, c.path, c.bootloaderFile);
        EXPECT_NE(log.find(std::string(c.line) +
                           "Error: Write of device-memory (FLASH) failed\r\nError: Job failed "
                           "(cmd=0x03)\r\n"),
                  std::string::npos)
            << c.line << log;
        EXPECT_EQ(log.find("Reading target memory"), std::string::npos);
        EXPECT_EQ(firmware(c.channel).rowsWritten(), 0);
        EXPECT_EQ(firmware(c.channel).instruction(0x100), before);
    }
    std::remove(plain.c_str());
}

// A file known to be damaged would leave erased words inside the code: it is refused whole.
TEST_F(ProgrammingJob, DamagedFilesAreRefusedBeforeAnythingIsWritten) {
    connect();
    std::vector<std::string> lines;
    {
        std::ifstream in(demoFirmware());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    auto variant = [&](const std::string& name, auto change) {
        std::vector<std::string> copy = lines;
        change(copy);
        const std::string path = tempPath(name);
        std::ofstream out(path, std::ios::binary);
        for (const auto& l : copy) out << l << "\n";
        return path;
    };
    const std::string whole = readFile(demoFirmware());
    const std::string cutPath = tempPath("cut_FW.HEX");
    std::ofstream(cutPath, std::ios::binary) << whole.substr(0, 6000);
    struct Case {
        std::string path;
        std::string says;
    } cases[] = {
        {variant("sum_FW.HEX", [](auto& l) { l[9].back() = l[9].back() == '0' ? '1' : '0'; }), "bad line 10"},
        {variant("odd_FW.HEX", [](auto& l) { l[11].erase(20, 1); }), "bad line 12"},
        {variant("nul_FW.HEX", [](auto& l) { l[13][20] = '\0'; }), "bad line 14"},
        {variant("two_FW.HEX", [](auto& l) { l[9].erase(20, 1), l[19].erase(20, 1); }), "bad lines 10, 20"},
        {cutPath, "bad line 137; no end record, the file is cut off"},  // ends inside line 137
    };
    for (const Case& c : cases) {
        const uint32_t before = firmware(1).instruction(0x100);
        const std::string log = program(1, c.path);
        EXPECT_NE(log.find("Error: HEX-file damaged (" + c.says + "); nothing was written\r\n"),
                  std::string::npos)
            << c.says << log.substr(0, 4000);
        EXPECT_EQ(log.find("Reading target memory"), std::string::npos);
        EXPECT_EQ(firmware(1).rowsWritten(), 0);
        EXPECT_EQ(firmware(1).instruction(0x100), before);
        std::remove(c.path.c_str());
    }
}

TEST_F(ProgrammingJob, DetectionWritesOnlyTheContiguousRunAfterRow4) {
    connect();
    const std::string path = tempPath("gap.hex");
    {
        std::ofstream out(path);
        auto rec = [&](int type, uint32_t address, std::vector<uint8_t> d) {
            out << formatHexRecord(type, address, d.data(), d.size()) << "\n";
        };
        rec(0xD1, 1005, {0, 2, 0, 0, 2});
        rec(0xD1, 1001, {0, 5, 0, 0, 0x01, 0xC0, 0x01, 0xFF});  // row 7 (0x1C0) protected
        rec(0, 0, {0x00, 0x01, 0x04, 0x00, 0, 0, 0, 0});        // GOTO 0x100
        for (uint32_t row : {4u, 5u, 6u, 7u, 8u, 10u}) rec(0, row * 128, {0x11, 0x22, 0x33, 0x00});
        rec(1, 0, {});
    }
    const std::string log = program(4, path);
    ASSERT_NE(log.find("Start application ..\r\n : done"), std::string::npos) << log;
    vsim::BootFirmware& m = firmware(4);
    EXPECT_EQ(m.instruction(0x140), 0x332211u);
    EXPECT_EQ(m.instruction(0x180), 0x332211u);
    EXPECT_EQ(m.instruction(0x1C0), 0xFFFFFFu);  // protected: skipped, the run goes on
    EXPECT_EQ(m.instruction(0x200), 0x332211u);
    EXPECT_EQ(m.instruction(0x280), 0xFFFFFFu);  // after the gap at row 9
    EXPECT_EQ(m.parameter(2), 3u * 96u);
    std::remove(path.c_str());
}

TEST_F(ProgrammingJob, ABootLoaderFileKeepsTheApplicationsRowsAndWritesNoParameters) {
    connect();
    const std::string path = tempPath("bl.hex");
    {
        std::ofstream out(path);
        auto rec = [&](int type, uint32_t address, std::vector<uint8_t> d) {
            out << formatHexRecord(type, address, d.data(), d.size()) << "\n";
        };
        rec(0xD1, 1005, {0, 2, 0, 0, 1});
        rec(0, 0, {0x00, 0x7E, 0x04, 0x00, 0, 0, 0, 0, 0x99, 0x99, 0x99, 0});  // GOTO 0x7E00, then a vector
        rec(0, 0x80, {0x77, 0x77, 0x77, 0x00});                                // row 0x40: the application's
        for (uint32_t a = 0x7E00; a < 0x8000; a += 8)
            rec(0, 2 * a, {0x55, 0x44, 0x33, 0x00, 0x55, 0x44, 0x33, 0x00});
        rec(1, 0, {});
    }
    const uint32_t appVector = firmware(1).instruction(0x04), appRow1 = firmware(1).instruction(0x40);
    const std::string log = program(1, path, true);
    ASSERT_NE(log.find("Start bootloader ..\r\n : done\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Writing standard parameters"), std::string::npos);
    EXPECT_NE(log.find(" xM: 0x000040 (96 bytes) skipped (protected memory)\r\n"), std::string::npos);
    vsim::BootFirmware& m = firmware(1);
    EXPECT_EQ(m.instruction(0), 0x047E00u);
    EXPECT_EQ(m.instruction(0x04), appVector);  // the rest of the reset row is the device's
    EXPECT_EQ(m.instruction(0x40), appRow1);
    EXPECT_EQ(m.instruction(0x7E40), 0x334455u);  // the new boot loader
    std::remove(path.c_str());
}

TEST_F(ProgrammingJob, AModuleThatStopsAnsweringEndsTheJobAndStillStartsItsBootLoader) {
    // From the 200th exchange on, the module does not answer for a while.
    connect(R"({"kind": "moduleSilent", "channel": 1, "after": 200, "count": 1})");
    const std::string log = program(1, demoFirmware());
    EXPECT_NE(log.find("iError=9)\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Error: Write of device-memory (FLASH) failed\r\nError: Job failed (cmd=0x03)\r\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Start application"), std::string::npos);
    messages.clear();
    updater->queueStartFirmware(1, true);
    updater->queueReadRunningType(1);
    const std::string after = runJobs();
    EXPECT_NE(after.find("Info: Bootloader started\r\n"), std::string::npos) << after;
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().value(), 1u);
}

}  // namespace
}  // namespace vz::test
