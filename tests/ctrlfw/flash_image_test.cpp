// The flash image: import and classification, size and checksum for each layout, and the erase,
// write and verify steps against a driver record that records its calls.
#include "ctrlfw/flash_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/debug_log.h"
#include "tests/support/coff_writer.h"

using vz::FlashImage;
using vz::FlashImageType;
using vztest::CoffWriterSection;

namespace {

struct Call {
    uint32_t address;
    uint32_t numBytes;
    std::vector<uint16_t> words;
};

struct FakeDriver {
    std::vector<Call> writes, verifies;
    std::vector<uint32_t> erases;
    int failWriteAt = -1;   // index of the call that fails
    int failEraseMask = 0;  // the sector bit that fails
};
FakeDriver driver;

int fakeWrite(PRG_HANDLE, uint32_t address, uint16_t, uint32_t numBytes, const uint16_t* data) {
    driver.writes.push_back({address, numBytes, std::vector<uint16_t>(data, data + numBytes / 2)});
    return static_cast<int>(driver.writes.size()) - 1 == driver.failWriteAt ? -1 : 0;
}
int fakeVerify(PRG_HANDLE, uint32_t address, uint16_t, uint32_t numBytes, const uint16_t*) {
    driver.verifies.push_back({address, numBytes, {}});
    return 0;
}
int fakeErase(PRG_HANDLE, uint32_t mask) {
    driver.erases.push_back(mask);
    return mask == static_cast<uint32_t>(driver.failEraseMask) ? 7 : 0;
}

const PrgInterface kRecord = {76,        1,       1,          1,       1,       "GENERIC", 0,
                              16,        nullptr, nullptr,    nullptr, nullptr, nullptr,   nullptr,
                              fakeWrite, nullptr, fakeVerify, nullptr, nullptr};

class FlashImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        driver = FakeDriver{};
        image.setDriver(&kRecord, nullptr, fakeErase);
        vz::setDebugLogOutput([this](std::string_view line) { debug += line; });
    }
    void TearDown() override {
        vz::setDebugLogOutput({});
        std::filesystem::remove(file);
    }
    int import(const std::vector<CoffWriterSection>& sections) {
        vztest::writeCoffFile(file, vztest::CoffWriterOptions{}, sections);
        return image.importCoff(file.c_str());
    }
    uint16_t firmwareSum() const {
        uint16_t sum = 0;
        for (uint32_t a = FlashImage::kBase; a <= FlashImage::kFirmwareEnd; ++a)
            sum = static_cast<uint16_t>(sum + image.word(a));
        return sum;
    }
    bool said(const std::string& part) const { return lines.find(part) != std::string::npos; }

    std::string file = (std::filesystem::temp_directory_path() / ("vz-flash-image-" + std::to_string(getpid()) + ".out")).string();
    std::string lines, debug;
    FlashImage image{[this](const std::string& line) { lines += line; }};
};

CoffWriterSection code(uint32_t address, size_t words, uint16_t value = 0x1234) {
    return {".text", address, std::vector<uint16_t>(words, value), 0x20, 0, true};
}
CoffWriterSection version(const char* name, uint32_t address) {
    return {name, address, vztest::versionWords("VELK-FW 3.10    "), 0x40, 0, true};
}

TEST_F(FlashImageTest, ImportClassifiesAndPlacesSections) {
    ASSERT_EQ(
        import({code(0x3D8000, 300), version(".fwversion", 0x3F3FF5), code(0x3F8000, 16), code(0x008000, 4)}),
        0);
    EXPECT_EQ(image.type(), FlashImageType::Firmware);
    EXPECT_EQ(image.word(0x3D8000 + 299), 0x1234);
    EXPECT_EQ(image.word(0x3F3FF5), 0x480E);
    EXPECT_EQ(image.word(0x3F3FF6), 'V' | 'E' << 8);  // low byte first
    EXPECT_EQ(image.lowest(), 0x3D8000u);
    EXPECT_EQ(image.highest(), 0x3F3FF5u + 8);
    EXPECT_EQ(image.wordsImported(), 309);
    EXPECT_EQ(image.wordsIgnored(), 20);
    EXPECT_EQ(image.warnings(), 2);  // 0x3F8000 lies just past the image, 0x008000 in RAM
    EXPECT_TRUE(said("  IGNORED: Section Address = 0x3F8000, Number of words = 16 (0x10)\n"));
    EXPECT_TRUE(said("  Section Address = 0x3D8000, Number of words = 300 (0x12C)\n"));
    EXPECT_TRUE(said(" imported 309 words: 0x3D8000-0x3F3FFD, (20 words ignored, 2 warnings, 0 errors)\n"));

    // The boot-loader version wins over the firmware version; no version section: not imported.
    ASSERT_EQ(import({version(".fwversion", 0x3F3FF5), version(".blversion", 0x3F7F77)}), 0);
    EXPECT_EQ(image.type(), FlashImageType::BootLoader);
    EXPECT_EQ(import({code(0x3D8000, 4)}), -1);
    EXPECT_EQ(image.importCoff(""), 1);
    EXPECT_EQ(image.importCoff(nullptr), -1);
    EXPECT_EQ(image.importCoff("/nonexistent.out"), -101);
}

struct Layout {
    const char* versionSection;
    int deviceLayout;
    uint32_t checksumAt;
    bool sizeWords;  // 0x1C000 at 0x3F3FF0/F1, else 0x003F3FFE at 0x3F3FF1/F2
};

class ChecksumTest : public FlashImageTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(ChecksumTest, SizeAndChecksumAtTheirLayoutsAddresses) {
    ASSERT_EQ(import({code(0x3D8000, 200, 0x5A5A), version(GetParam().versionSection, 0x3F3FF5)}), 0);
    image.insertChecksum(GetParam().deviceLayout);
    if (GetParam().sizeWords) {
        EXPECT_EQ(image.word(0x3F3FF0), 0xC000);
        EXPECT_EQ(image.word(0x3F3FF1), 0x0001);
    } else {
        EXPECT_EQ(image.word(0x3F3FF1), 0x003F);
        EXPECT_EQ(image.word(0x3F3FF2), 0x3FFE);
    }
    EXPECT_EQ(firmwareSum(), 1);
    EXPECT_EQ(image.imageChecksum(), 0xFFFF);
    EXPECT_NE(image.word(GetParam().checksumAt), 0xFFFF);
    EXPECT_NE(debug.find("Calculated checksum is 0xFFFF"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ChecksumTest,
                         ::testing::Values(Layout{".version", 0, 0x3F3FEE, false},      // older layout
                                           Layout{".version", 2, 0x3F3FF2, true},       // device says current
                                           Layout{".fwversion", 0, 0x3F3FF2, true},     // current layout
                                           Layout{".fwversion", 3, 0x3F3FEE, false}));  // device says older

TEST_F(FlashImageTest, ExistingSizeIsKeptAndBootLoaderLeftAlone) {
    ASSERT_EQ(import({code(0x3D8000, 4),
                      version(".fwversion", 0x3F3FF5),
                      {".fwsize", 0x3F3FF0, {0xC000, 0x0001}, 0x40, 0, true}}),
              0);
    image.insertChecksum(0);
    EXPECT_TRUE(said("Firmware Size at 0x3F3FF0: 0x1C000\n"));
    EXPECT_FALSE(said("Inserted Firmware Size"));

    ASSERT_EQ(import({code(0x3D8000, 4), version(".fwversion", 0x3F3FF5)}), 0);
    image.insertChecksum(0);
    EXPECT_TRUE(said("Inserted Firmware Size at 0x3F3FF0: 0xFFFFFFFF -> 0x1C000\n"));

    lines.clear();
    ASSERT_EQ(import({code(0x3F6000, 4), version(".blversion", 0x3F7F77)}), 0);
    image.insertChecksum(2);
    EXPECT_EQ(lines.substr(lines.rfind("Boot")), "Bootloader image detected, skip checksum\n");
    EXPECT_EQ(image.word(0x3F3FF2), 0xFFFF);
}

TEST_F(FlashImageTest, InsertedWordsAreWrittenEvenBeyondTheSections) {
    ASSERT_EQ(import({version(".fwversion", 0x3D9000), code(0x3D8000, 4)}), 0);
    image.insertChecksum(0);
    ASSERT_TRUE(image.writeFlash());
    bool checksumWritten = false;
    for (const auto& w : driver.writes)
        if (w.address <= 0x3F3FF2 && 0x3F3FF2 < w.address + w.numBytes / 2) checksumWritten = true;
    EXPECT_TRUE(checksumWritten);
}

TEST_F(FlashImageTest, EraseGoesSectorBySectorInOrder) {
    int progressCalls = 0;
    image.setProgress([&](vz::FlashStep step, int done, int total) {
        EXPECT_EQ(step, vz::FlashStep::Erase);
        EXPECT_EQ(total, 8);
        EXPECT_EQ(done, ++progressCalls);
    });
    ASSERT_TRUE(image.eraseFlash(0x3FC));
    EXPECT_EQ(driver.erases, (std::vector<uint32_t>{0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200}));
    EXPECT_TRUE(said("  Erase sector C: done\n"));
    EXPECT_TRUE(said("  Erase sector J: done\n"));
    EXPECT_EQ(progressCalls, 8);

    image.setProgress({});
    driver.erases.clear();
    ASSERT_TRUE(image.eraseFlash(0x003));
    EXPECT_EQ(driver.erases, (std::vector<uint32_t>{0x1, 0x2}));

    driver.erases.clear();
    driver.failEraseMask = 0x2;
    EXPECT_FALSE(image.eraseFlash(0x007));
    EXPECT_EQ(driver.erases, (std::vector<uint32_t>{0x1, 0x2}));  // stops at the failing sector
    EXPECT_TRUE(said("  Erase sector B: ERROR 7\n"));
    EXPECT_TRUE(image.eraseFlash(0));
}

TEST_F(FlashImageTest, WriteSkipsBlankChunks) {
    std::vector<uint16_t> words(0x101, 0x2222);
    std::fill(words.begin(), words.begin() + 114, 0xFFFF);
    ASSERT_EQ(import({{".text", 0x3D8000, words, 0x20, 0, true}, version(".fwversion", 0x3D8101)}), 0);
    std::vector<int> progress;
    image.setProgress([&](vz::FlashStep, int done, int total) { progress.push_back(done * 100 + total); });
    ASSERT_TRUE(image.writeFlash());
    ASSERT_EQ(driver.writes.size(), 2u);  // of 0x10A words in three chunks
    EXPECT_EQ(driver.writes[0].address, 0x3D8072u);
    EXPECT_EQ(driver.writes[0].numBytes, 228u);
    EXPECT_EQ(driver.writes[0].words[0], 0x2222);
    EXPECT_EQ(driver.writes[1].address, 0x3D8000u + 2 * 114);
    EXPECT_EQ(driver.writes[1].numBytes, 2u * (0x10A - 2 * 114));
    EXPECT_EQ(progress, (std::vector<int>{102, 202}));
    EXPECT_NE(debug.find("NOT Write 114 words -> 0x3D8000"), std::string::npos);
    EXPECT_NE(debug.find("FlashWrite ready"), std::string::npos);

    driver = FakeDriver{};
    driver.failWriteAt = 1;
    EXPECT_FALSE(image.writeFlash());
    EXPECT_EQ(driver.writes.size(), 2u);
    EXPECT_NE(debug.find("FlashWrite ERROR -1 (0xFFFFFFFF)"), std::string::npos);
}

TEST_F(FlashImageTest, VerifyInChunksOf8192Words) {
    ASSERT_EQ(import({code(0x3D8000, 20000), version(".fwversion", 0x3F3FF5)}), 0);
    ASSERT_TRUE(image.verifyFlash());
    // 0x3D8000 ... 0x3F3FFD: 114686 words.
    ASSERT_EQ(driver.verifies.size(), 14u);
    EXPECT_EQ(driver.verifies[1].address, 0x3D8000u + 8192);
    EXPECT_EQ(driver.verifies[0].numBytes, 16384u);
    EXPECT_EQ(driver.verifies[13].numBytes, 2u * (114686 - 13 * 8192));

    FlashImage empty;
    empty.setDriver(&kRecord, nullptr, fakeErase);
    EXPECT_FALSE(empty.writeFlash());
    EXPECT_FALSE(empty.verifyFlash());
    EXPECT_NE(debug.find("Trying to program 0 words"), std::string::npos);
}

}  // namespace
