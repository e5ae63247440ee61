// The device-memory backup: what the file holds, that written back into a blank module it backs up
// the same, and that srecord reads our files and we read srecord's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "canfw/firmware_hex_reader.h"
#include "canfw/hex_record.h"
#include "tests/canfw/updater_fixture.h"

namespace vz::test {
namespace {

class Backup : public UpdaterFixture {
  protected:
    std::string backup(int channel, const std::string& path) {
        const DeviceInfo d = identify(channel);
        updater->queueStartFirmware(channel, true);
        updater->queueBackup(d, path);
        return runJobs();
    }
};

// Address -> byte of every data record, through our own line parser.
std::map<uint32_t, uint8_t> hexBytes(const std::string& path) {
    std::map<uint32_t, uint8_t> bytes;
    std::ifstream in(path);
    uint32_t upper = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto r = parseHexLine(line);
        if (!r) {
            ADD_FAILURE() << "bad line " << line;
            continue;
        }
        if (r->type == 4) upper = static_cast<uint32_t>(std::stoul(r->dataText, nullptr, 16)) << 16;
        if (r->type != 0) continue;
        for (int i = 0; i < r->byteCount; ++i)
            bytes[upper + r->address + i] =
                static_cast<uint8_t>(std::stoul(r->dataText.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

bool haveSrecord() {
    return std::system("srec_cat -VERSion >/dev/null 2>&1") == 0 &&
           std::system("srec_info -VERSion >/dev/null 2>&1") == 0;
}

TEST_F(Backup, HoldsEveryMemoryAtItsHexAddressAndEndsSweepsAtMissingMemory) {
    connect();
    const std::string path = tempPath("m1.bex");
    const std::string log = backup(1, path);
    ASSERT_NE(log.find("\r\ndone\r\nInfo: Read of device-memory done\r\n"), std::string::npos)
        << log.substr(0, 2000);
    // The flash sweep reads past a 48 KB flash; the second configuration row does not exist.
    EXPECT_NE(log.find("\r\nWarn: memory not available (iAdr=0x10000)\r\n\r\n EEPROM (baseAdr=0x7FFC00: "),
              std::string::npos);
    EXPECT_NE(log.find("\r\nWarn: memory not available (iAdr=0xF80015)\r\n"), std::string::npos);

    const auto bytes = hexBytes(path);
    vsim::BootFirmware& m = firmware(1);
    for (uint32_t a : {0u, 0x100u, 0x7E40u}) {
        const uint32_t w = m.instruction(a);
        EXPECT_EQ(bytes.at(2 * a), w & 0xFF);
        EXPECT_EQ(bytes.at(2 * a + 2), w >> 16);
        EXPECT_EQ(bytes.at(2 * a + 3), 0);  // phantom byte
    }
    EXPECT_EQ(bytes.at(0xFFF800), m.eepromWord(0) & 0xFF);
    EXPECT_EQ(bytes.at(0xFFF802), 0);
    EXPECT_EQ(bytes.at(0x1F00000),
              0x00);  // first configuration word 0xC100, then a third zero byte and a phantom
    EXPECT_EQ(bytes.at(0x1F00001), 0xC1);
    EXPECT_EQ(bytes.at(0x7C00 * 2), 0xFF);  // erased flash, with its zero phantom byte
    EXPECT_EQ(bytes.at(0x7C00 * 2 + 3), 0x00);
    std::remove(path.c_str());

    const std::string none = backup(3, tempPath("m3.bex"));
    EXPECT_NE(none.find("Error: invalid parameter\r\nError: Read of device-memory failed\r\n"),
              std::string::npos);
}

TEST_F(Backup, AFailureInTheFlashSweepWritesNoFile) {
    connect(
        R"({"kind": "corruptBuffer", "channel": 1, "operation": "readAddr", "address": 53256, "after": 40, "count": 1})");
    const std::string path = tempPath("broken.bex");
    const std::string log = backup(1, path);
    EXPECT_NE(log.find("Error: receive FLASH-data failed"), std::string::npos) << log.substr(0, 3000);
    EXPECT_NE(log.find("Error: Read of device-memory failed\r\nError: Job failed (cmd=0x02)\r\n"),
              std::string::npos);
    EXPECT_FALSE(std::ifstream(path).good());
}

TEST_F(Backup, WrittenBackIntoABlankModuleItBacksUpTheSame) {
    connect();
    const std::string first = tempPath("m1.bex"), second = tempPath("m4.bex");
    ASSERT_NE(backup(1, first).find("Info: Read of device-memory done"), std::string::npos);
    const DeviceInfo blank = identify(4);
    updater->queueProgram(blank, kProgramMemory, first, false, false, false, true);
    updater->queueProgram(blank, kEepromMemory, first, false, false, false, true);
    const std::string restoreLog = runJobs();
    EXPECT_EQ(restoreLog.find("Job failed"), std::string::npos) << restoreLog;
    EXPECT_EQ(restoreLog.find(" PM: 0x007E00"), std::string::npos);  // the boot loader is never written
    EXPECT_EQ(restoreLog.find(" PM: 0x000080"), std::string::npos);
    ASSERT_NE(backup(4, second).find("Info: Read of device-memory done"), std::string::npos);
    const std::string a = readFile(first), b = readFile(second);
    EXPECT_GT(a.size(), 10000u);
    EXPECT_TRUE(a == b) << "the two backups differ";
    // The application restored from the backup starts with the start address the module keeps.
    EXPECT_EQ(firmware(4).instruction(0x180), firmware(1).instruction(0x180));

    if (!haveSrecord()) GTEST_SKIP() << "srecord (srec_cat, srec_info) is not installed";
    const std::string out = tempPath("srec.hex");
    EXPECT_EQ(std::system(("srec_info " + first + " -intel >/dev/null").c_str()), 0);
    ASSERT_EQ(
        std::system(("srec_cat " + first + " -intel -o " + out + " -intel -obs=32 2>/dev/null").c_str()), 0);
    EXPECT_TRUE(hexBytes(first) == hexBytes(out)) << "srec_cat read other bytes from our file";
    std::remove(out.c_str());
    std::remove(first.c_str());
    std::remove(second.c_str());
}

TEST(Srecord, FirmwareWrittenBySrecCatLoadsAsOurs) {
    if (!haveSrecord()) GTEST_SKIP() << "srecord (srec_cat, srec_info) is not installed";
    const std::string plain = ::testing::TempDir() + "plain_fw.hex",
                      viaSrec = ::testing::TempDir() + "srec_fw.hex";
    {
        std::ifstream in(demoFirmware());
        std::ofstream outFile(plain);
        for (std::string line; std::getline(in, line);)
            if (line.substr(7, 2) != "D1") outFile << line << "\n";  // srecord knows no 0xD1 records
    }
    ASSERT_EQ(
        std::system(("srec_cat " + plain + " -intel -o " + viaSrec + " -intel -obs=32 2>/dev/null").c_str()),
        0);
    RowImage ours, theirs;
    ParameterMap p1, p2;
    const auto quiet = [](const std::string&) {};
    ASSERT_TRUE(loadFirmwareHex(demoFirmware(), 0, ours, p1, quiet));
    ASSERT_TRUE(loadFirmwareHex(viaSrec, 0, theirs, p2, quiet));
    EXPECT_TRUE(p2.empty());
    for (int i = 0; i < kRowCount; ++i) {
        EXPECT_EQ(ours[i].empty, theirs[i].empty) << i;
        EXPECT_TRUE(ours[i].words == theirs[i].words) << i;
    }
    std::remove(plain.c_str());
    std::remove(viaSrec.c_str());
}

}  // namespace
}  // namespace vz::test
