// Writing a backup back: the module ends as the backup holds it (its boot loader's rows aside), and
// what is no backup of this processor is refused before anything is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "canfw/hex_record.h"
#include "tests/canfw/updater_fixture.h"

namespace vz::test {
namespace {

// Another application for a dsPIC30F4011: detection off, its firmware range reaching into the module
// configuration row 0x7C00, code in rows 4 to 40 and in that row, and EEPROM words.
void writeOtherFirmware(const std::string& path) {
    std::ofstream out(path);
    auto rec = [&](int type, uint32_t address, std::vector<uint8_t> d) {
        out << formatHexRecord(type, address, d.data(), d.size()) << "\n";
    };
    rec(0xD1, 1001, {0, 5, 0, 0, 0x7C, 0x00, 0x7C, 0x3F});
    rec(0xD1, 1002, {0, 5, 0, 0, 0x01, 0x00, 0x7C, 0x3F});
    rec(0xD1, 1004, {0, 2, 0, 0, 0});
    rec(0xD1, 1005, {0, 2, 0, 0, 2});
    rec(4, 0, {0, 0});
    rec(0, 0, {0x00, 0x01, 0x04, 0x00, 0, 0, 0, 0});  // GOTO 0x100
    auto code = [&](uint32_t deviceAddress) {
        for (uint32_t a = deviceAddress; a < deviceAddress + 64; a += 8) {
            std::vector<uint8_t> d;
            for (uint32_t k = 0; k < 8; k += 2) {
                const uint32_t w = (a + k) * 2654435761u >> 8 & 0xFFFFFF;
                d.insert(d.end(), {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), 0});
            }
            rec(0, 2 * a & 0xFFFF, d);
        }
    };
    for (uint32_t row = 4; row <= 40; ++row) code(row * 64);
    code(0x7C00);
    rec(4, 0, {0x00, 0xFF});
    rec(0, 0xF800, {0x11, 0x22, 0, 0, 0x33, 0x44, 0, 0});  // EEPROM words 0 and 1
    rec(1, 0, {});
}

class Restore : public UpdaterFixture {
  protected:
    std::string backup(int channel, const std::string& path) {
        clock_.advanceUs(200000);  // a firmware started before has answered by now
        const DeviceInfo d = identify(channel);
        updater->queueStartFirmware(channel, true);
        updater->queueBackup(d, path);
        return runJobs();
    }
    std::string restore(int channel, const std::string& path) {
        clock_.advanceUs(200000);  // a firmware started before has answered by now
        const DeviceInfo d = identify(channel);
        updater->queueStartFirmware(channel, true);
        updater->queueProgram(d, kProgramMemory, path, false, false, false, true);
        updater->queueProgram(d, kEepromMemory, path, false, false, false, true);
        return runJobs();
    }
    // EEPROM first: the program-memory job ends by starting the application.
    std::string program(int channel, const std::string& path, bool overwrite) {
        clock_.advanceUs(200000);  // a firmware started before has answered by now
        const DeviceInfo d = identify(channel);
        updater->queueStartFirmware(channel, true);
        updater->queueProgram(d, kEepromMemory, path, false, false, false);
        updater->queueProgram(d, kProgramMemory, path, false, overwrite, false);
        return runJobs();
    }
    // Everything the module's memories hold, read from the virtual processor itself.
    struct Memory {
        std::vector<uint32_t> pm;
        std::vector<uint16_t> eeprom;
        bool operator==(const Memory&) const = default;
    };
    Memory memory(int channel) {
        Memory m;
        vsim::BootFirmware& f = firmware(channel);
        for (uint32_t a = 0; a < 2 * f.processor().pmInstructions; a += 2) m.pm.push_back(f.instruction(a));
        for (size_t i = 0; i < f.processor().eepromWords; ++i) m.eeprom.push_back(f.eepromWord(i));
        return m;
    }
};

TEST_F(Restore, BackupProgramRestoreBackupGivesTheSameModuleAndFile) {
    connect();
    const std::string demoLog = program(1, demoFirmware(), false);
    ASSERT_EQ(demoLog.find("Job failed"), std::string::npos) << demoLog;
    const uint32_t size = firmware(1).parameter(2), checksum = firmware(1).parameter(3);
    const std::string first = tempPath("first.bex"), second = tempPath("second.bex"),
                      other = tempPath("other_FW.HEX");
    const std::string firstLog = backup(1, first);
    ASSERT_NE(firstLog.find("Info: Read of device-memory done"), std::string::npos) << firstLog;
    const Memory before = memory(1);

    // Another application, the configuration row overwritten: each row is written once, so the
    // job runs to its end.
    writeOtherFirmware(other);
    const std::string programLog = program(1, other, true);
    ASSERT_EQ(programLog.find("Job failed"), std::string::npos) << programLog;
    EXPECT_EQ(firmware(1).instruction(0x7C00), (0x7C00u * 2654435761u >> 8) & 0xFFFFFF);
    EXPECT_EQ(firmware(1).eepromWord(0), 0x2211);
    ASSERT_NE(memory(1), before);
    EXPECT_NE(firmware(1).parameter(2), size);

    const std::string log = restore(1, first);
    ASSERT_EQ(log.find("Job failed"), std::string::npos) << log;
    EXPECT_NE(log.find("Info: the boot loader's own rows (reset GOTO, 0x000080 to 0x0000FF, 0x007E00 up) are "
                       "kept as the module has them\r\n"),
              std::string::npos);
    EXPECT_EQ(log.find(" PM: 0x007E00"), std::string::npos);  // the boot loader is never written
    EXPECT_EQ(log.find(" PM: 0x000080"), std::string::npos);
    EXPECT_TRUE(memory(1) == before) << "the module does not hold what it held at the backup";
    EXPECT_EQ(firmware(1).parameter(2), size);
    EXPECT_EQ(firmware(1).parameter(3), checksum);

    ASSERT_NE(backup(1, second).find("Info: Read of device-memory done"), std::string::npos);
    EXPECT_TRUE(readFile(first) == readFile(second)) << "the two backups differ";
    for (const auto& p : {first, second, other}) std::remove(p.c_str());
}

TEST_F(Restore, WhatIsNoBackupOfThisProcessorIsRefusedBeforeAnythingIsWritten) {
    connect();
    const std::string of4013 = tempPath("m2.bex"), of4011 = tempPath("m1.bex"), older = tempPath("older.bex"),
                      plain = tempPath("plain.bex"), cut = tempPath("cut.bex");
    ASSERT_NE(backup(2, of4013).find("Info: Read of device-memory done"), std::string::npos);
    ASSERT_NE(backup(1, of4011).find("Info: Read of device-memory done"), std::string::npos);
    {
        // An older backup names no processor; a compiler's output carries no parameters either.
        std::ifstream in(of4011);
        std::ofstream out(older);
        for (std::string line; std::getline(in, line);)
            if (line.substr(7, 2) != "03") out << line << "\n";
        std::ifstream fw(demoFirmware());
        std::ofstream p(plain);
        for (std::string line; std::getline(fw, line);)
            if (line.substr(7, 2) != "D1") p << line << "\n";
        const std::string whole = readFile(of4011);
        std::ofstream(cut) << whole.substr(0, whole.rfind('\n', whole.size() / 2) + 1);  // whole lines
    }
    struct Case {
        std::string path;
        const char* line;
    } cases[] = {
        {of4013,
         "Error: backup of another processor (deviceId=0x0141, procID=1), the module has deviceId=0x0101; "
         "nothing was written\r\n"},
        {demoFirmware(),
         "Error: not a backup file (it carries HEX-parameters or no data); nothing was written\r\n"},
        {plain,
         "Error: not a backup of this module (it names no processor and its reset GOTO is not the "
         "module's); nothing was written\r\n"},
        {cut, "Error: HEX-file damaged (no end record, the file is cut off); nothing was written\r\n"},
    };
    for (const Case& c : cases) {
        const int rowsBefore = firmware(1).rowsWritten();
        const std::string log = restore(1, c.path);
        EXPECT_NE(log.find(std::string(c.line) + "Error: Write of device-memory (FLASH) failed\r\n"),
                  std::string::npos)
            << c.line << log;
        EXPECT_EQ(log.find(" PM: "), std::string::npos) << c.path;
        EXPECT_EQ(log.find(" EM: "), std::string::npos) << c.path;
        EXPECT_EQ(firmware(1).rowsWritten(), rowsBefore) << c.path;
    }
    // The older backup is this module's own: it is taken, with a word about it.
    const std::string log = restore(1, older);
    EXPECT_NE(
        log.find("Warning: an older backup that names no processor; its reset GOTO is the module's\r\n"),
        std::string::npos);
    EXPECT_EQ(log.find("Job failed"), std::string::npos) << log;
    for (const auto& p : {of4013, of4011, older, plain, cut}) std::remove(p.c_str());
}

}  // namespace
}  // namespace vz::test
