// Reading firmware files into rows and parameters, and writing the sparse backup image.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "canfw/firmware_hex_reader.h"
#include "canfw/hex_file.h"
#include "canfw/hex_record.h"

namespace vz {
namespace {

struct Loaded {
    bool ok = false;
    RowImage rows;
    ParameterMap parameters;
    std::vector<std::string> log;
};

Loaded loadText(const std::string& text, int family = 0) {
    Loaded l;
    FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    l.ok =
        loadFirmwareHex(f, family, l.rows, l.parameters, [&](const std::string& s) { l.log.push_back(s); });
    std::fclose(f);
    return l;
}

// A record line with its checksum.
std::string rec(int type, uint32_t address, std::vector<uint8_t> data) {
    return formatHexRecord(type, address, data.data(), data.size()) + "\r\n";
}

int countLines(const Loaded& l, const std::string& start) {
    int n = 0;
    for (const auto& s : l.log) n += s.rfind(start, 0) == 0;
    return n;
}

TEST(FirmwareHex, RecordsGoToTheirRowsAndOffsets) {
    const std::string text =
        rec(0, 0, {0x40, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}) +   // GOTO 0x140
        ":00000001FF\r\n" +                                             // lines after it count
        rec(4, 0, {0x00, 0xFF}) + rec(0, 0xE000, {0x11, 0x22, 0, 0}) +  // 0xFFE000: EEPROM
        rec(4, 0, {0x01, 0xF0}) + rec(0, 0x0000, {0x33, 0x44, 0, 0}) +  // 0x1F00000: config
        ":020000021000EC\r\n" + rec(0, 0x0004, {0x55, 0x66, 0x77, 0});  // segment 0x10000
    Loaded l = loadText(text);
    ASSERT_TRUE(l.ok);
    EXPECT_TRUE(l.log.size() == 1) << l.log.back();  // only "Reading HexFile .."
    packRow(l.rows[0]);
    EXPECT_EQ(l.rows[0].transfer[0], 0x40);
    EXPECT_EQ(l.rows[0].transfer[2], 0x04);
    EXPECT_EQ(l.rows[0].transfer[3], 0x00);  // second instruction, phantom byte dropped
    EXPECT_FALSE(l.rows[kFirstEmRow].empty);
    packRow(l.rows[kFirstEmRow]);
    EXPECT_EQ(l.rows[kFirstEmRow].transfer[0], 0x11);
    EXPECT_EQ(l.rows[kFirstEmRow].transfer[1], 0x22);
    EXPECT_FALSE(l.rows[kFirstCmRow].empty);
    // 0x10004 / 2 = device 0x8002: row 0x8002 / 64 = 512.
    EXPECT_FALSE(l.rows[512].empty);
    EXPECT_EQ(l.rows[512].words[4], 0x55);
}

TEST(FirmwareHex, BadLinesAndRecordsAreLoggedAndSkipped) {
    const std::string good = rec(0, 0x100, {1, 2, 3, 0});
    const std::string text =
        ":0000000"
        "1FF0\r\n"           // even length
        "X00000001FF\r\n"    // no colon
        ":00000001FE\r\n" +  // wrong checksum
        rec(4, 0, {0x00, 0x03}) +
        rec(0, 0, {1, 2, 3, 0, 4, 5, 6, 0}) +  // 0x30000: beyond PM
        rec(4, 0, {0x00, 0x00}) + rec(0x05, 0, {0, 0, 0, 0}) + rec(3, 0, {0, 1, 0, 2}) + good;
    Loaded l = loadText(text);
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(countLines(l, "No valid HEX-record line"), 3);
    EXPECT_EQ(l.log[1], "No valid HEX-record line (iLine=1, line=':00000001FF0')\r\n");
    ASSERT_EQ(countLines(l, "Error: Address out of range"), 4);
    EXPECT_EQ(l.log[4], "Error: Address out of range (iLine=5, adr=0x30000)\r\n");
    EXPECT_EQ(l.log[7], "Error: Address out of range (iLine=5, adr=0x30006)\r\n");
    EXPECT_EQ(countLines(l, "Error: Unsupported HEX-record type (iLine=7, recordType=5)"), 1);
    EXPECT_EQ(countLines(l, "Info: start segment address record (iSegment=1, iOffset=0x000002)"), 1);

    EXPECT_FALSE(loadText(":00000001FF\r\n").ok);  // no data record
    EXPECT_FALSE(loadText("").ok);
}

// What makes a file damaged is named, so that the file can be refused before anything is written.
TEST(FirmwareHex, TheReportNamesBadLinesAMissingEndAndStopsOnEndlessInput) {
    auto report = [](const std::string& text) {
        Loaded l;
        HexReadReport r;
        FILE* f = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
        loadFirmwareHex(
            f, 0, l.rows, l.parameters, [](const std::string&) {}, &r);
        std::fclose(f);
        return r;
    };
    const std::string good = rec(0, 0x100, {1, 2, 3, 0});
    std::string nul = good;
    nul[5] = '\0';
    const HexReadReport r = report(good + ":00000001FE\r\n" + nul + rec(3, 0, {1, 1, 0, 1}) + good);
    EXPECT_EQ(r.badLines, (std::vector<int>{2, 3}));
    EXPECT_FALSE(r.endRecord);
    ASSERT_TRUE(r.startSegment.has_value());
    EXPECT_EQ(*r.startSegment, std::make_pair(0x0101u, 0x0001u));
    EXPECT_TRUE(r.damaged());
    EXPECT_EQ(r.damageText(), "bad lines 2, 3; no end record, the file is cut off");

    const HexReadReport whole = report(good + ":00000001FF\r\n");
    EXPECT_FALSE(whole.damaged());
    EXPECT_EQ(report(good).damageText(), "no end record, the file is cut off");

    // A device that never ends (such as /dev/zero) stops the reading after a bounded number of bad lines.
    const HexReadReport zeros = report(std::string(8 << 20, '\0'));
    EXPECT_TRUE(zeros.stopped);
    EXPECT_LE(zeros.badLines.size(), 1001u);
}

TEST(FirmwareHex, ParametersDecodeAndDuplicatesAreDiscarded) {
    auto param = [](uint32_t nr, std::vector<uint8_t> data) { return rec(0xD1, nr, std::move(data)); };
    const std::string text = rec(0, 0, {1, 2, 3, 0}) +
                             param(1001, {0, 5, 0, 0, 0x7C, 0x00, 0x7C, 0x3F}) +  // range of two 16-bit ends
                             param(1003, {0, 2, 0, 0, 0x01, 0x01}) + param(1005, {0, 2, 0, 0, 0x02}) +
                             param(1005, {0, 2, 0, 0, 0x01}) +  // kept: the first
                             param(1004, {0, 1, 0, 0, 0x00}) +
                             param(7, {0, 3, 0, 1, 0x12, 0x34, 0x56, 0x78}) +  // a device parameter
                             param(20, {0, 4, 0, 0, 'a', 'b'}) +               // text: refused
                             param(21, {0, 5, 0, 0, 1, 2, 3}) +                // odd range: refused
                             param(22, {0, 2, 0, 0, 1, 2, 3});                 // 3-byte integer: refused
    Loaded l = loadText(text);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(countLines(l, "Warning: HEX-parameter already defined (nr=1005)"), 1);
    EXPECT_EQ(countLines(l, "Error: HEX-parameter invalid/unsupported"), 3);
    ASSERT_EQ(l.parameters.size(), 5u);
    EXPECT_TRUE(l.parameters[7].writeToDevice);
    EXPECT_EQ(l.parameters[7].value, 0x12345678u);

    std::vector<std::string> log;
    const FirmwareSettings s =
        deriveFirmwareSettings(l.parameters, l.ok, [&](const std::string& t) { log.push_back(t); });
    EXPECT_EQ(s.configStart, 0x7C00u);
    EXPECT_EQ(s.configEnd, 0x7C3Fu);
    EXPECT_EQ(s.deviceFamily, 0x0101);
    EXPECT_FALSE(s.detect);
    EXPECT_EQ(s.firmwareType, kApplicationFirmware);
    EXPECT_FALSE(s.firmwareRangeSet());
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(
        log[1],
        "  Parameter 1001 (name='module configuration', iStart=0x007C00, iEnd=0x007C3F, protection=YES, "
        "type=5)\r\n");
    EXPECT_EQ(log[4], "  Parameter 1005 (name='firmwareType', uiValue=2, type=2)\r\n");
}

TEST(HexFile, InsertPutsPhantomBytesAndWritesOnlyWhatWasStored) {
    CHexFile image(0x0FFFFFFF);
    std::vector<uint8_t> pm(96);
    for (size_t i = 0; i < pm.size(); ++i) pm[i] = static_cast<uint8_t>(i + 1);
    ASSERT_TRUE(image.insertBlock(0, pm.data(), 96, 1));
    EXPECT_EQ(image.end(), 128u);
    EXPECT_EQ(image.byteAt(2), 3);
    EXPECT_EQ(image.byteAt(3), 0x00);
    EXPECT_EQ(image.byteAt(4), 4);
    EXPECT_FALSE(image.insertBlock(0x0FFFFFF0, pm.data(), 96, 1));  // past the end of the space
    EXPECT_FALSE(CHexFile().insertBlock(0, pm.data(), 3, 1));

    CHexFile eeprom(0x0FFFFFFF);
    std::vector<uint8_t> words(32, 0x5A);
    words[0] = words[1] = 0xFF;
    ASSERT_TRUE(eeprom.insertBlock(0xFFF800, words.data(), 32, 2));
    std::vector<uint8_t> blank(32, 0xFF);
    ASSERT_TRUE(eeprom.insertBlock(0xFFF900, blank.data(), 32, 2));  // 0xFF with zero phantoms: written
    const std::string path = ::testing::TempDir() + "hexfile_test.bex";
    ASSERT_TRUE(eeprom.writeHexFile(path, false));
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    EXPECT_EQ(text.rfind(":0200000400FFFB\r\n:10F80000FFFF00005A5A00005A5A00005A5A0000", 0), 0u) << text;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(parseHexLine(line.substr(0, line.size() - 1))) << line;
    EXPECT_NE(text.find(":10F81000"), std::string::npos);
    EXPECT_NE(text.find(":10F90000"), std::string::npos);
    EXPECT_EQ(text.find(":10F84000"), std::string::npos);  // never stored: no record
    EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
    EXPECT_LE(eeprom.blocksHeld(), 1u);
    std::remove(path.c_str());

    std::vector<std::string> report;
    eeprom.setReport([&](const std::string& s) { report.push_back(s); });
    EXPECT_FALSE(eeprom.writeHexFile("/nonexistent-dir/x.bex", false));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0], "Error: Unable to open file (szFilename='/nonexistent-dir/x.bex')\n");
    // Only regular files are written: never a device or a pipe (which would block the writer).
    const std::string fifo = ::testing::TempDir() + "hexfile_fifo.bex";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(eeprom.writeHexFile(fifo, false));
    EXPECT_FALSE(eeprom.writeHexFile("/dev/full", false));
    EXPECT_EQ(report.size(), 3u);
    std::remove(fifo.c_str());

    // A disk that fills up during the write: the earlier file of that name stays as it was.
    const std::string earlier = ::testing::TempDir() + "hexfile_earlier.bex";
    std::ofstream(earlier) << "the earlier backup\n";
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 200;  // the file takes more: its write fails as on a full disk
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = eeprom.writeHexFile(earlier, false);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    std::ifstream again(earlier);
    std::string first;
    std::getline(again, first);
    EXPECT_EQ(first, "the earlier backup");
    std::remove(earlier.c_str());
}

}  // namespace
}  // namespace vz
