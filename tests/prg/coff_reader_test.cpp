// The COFF reader on files the writer makes: every header version in both byte orders, long names,
// what is and is not loadable, and each error from a damaged file.
#include "prg/coff_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "tests/support/coff_writer.h"

using namespace vzprg;
using vztest::CoffWriterOptions;
using vztest::CoffWriterSection;

namespace {

std::vector<uint16_t> ramp(size_t n, uint16_t from) {
    std::vector<uint16_t> w(n);
    for (size_t i = 0; i < n; ++i) w[i] = static_cast<uint16_t>(from + i);
    return w;
}

std::vector<CoffWriterSection> sampleSections() {
    return {{".text", 0x008000, ramp(100, 0x1234), 0x20, 0, true},
            {".access_firmware_text", 0x008400, ramp(3, 0xA000), 0x20, 1, true},
            {".bss", 0x009000, std::vector<uint16_t>(50), 0x80, 0, false},
            {".noload", 0x009800, ramp(400, 0), 0x02, 0, true}};
}

class CoffFileTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) {
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '-');  // parameterised names hold a slash
        const auto p = std::filesystem::temp_directory_path() /
                       ("vz-coff-" + std::to_string(getpid()) + "-" + test + name);
        files_.push_back(p);
        return p.string();
    }
    void TearDown() override {
        for (const auto& f : files_) std::filesystem::remove(f);
    }
    std::vector<std::filesystem::path> files_;
};

struct Layout {
    int version;
    bool bigEndian;
};

class CoffLayoutTest : public CoffFileTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(CoffLayoutTest, DecodesHeadersNamesAndLoadableData) {
    CoffWriterOptions o;
    o.version = GetParam().version;
    o.bigEndian = GetParam().bigEndian;
    o.entryPoint = 0x003F8000;
    const std::string file = path(".out");
    ASSERT_TRUE(vztest::writeCoffFile(file, o, sampleSections()));

    std::unique_ptr<CoffFile> coff;
    const uint8_t block[16] = {1, 2, 3};
    ASSERT_EQ(coffOpen(file, block, coff), kCoffOk);
    EXPECT_EQ(coff->version(), 0xC0 + o.version);
    EXPECT_EQ(coff->targetId(), 0x9D);
    EXPECT_EQ(coff->byteSwapped(), o.bigEndian);  // the host is little-endian
    EXPECT_EQ(coff->bigEndianTarget(), o.bigEndian);
    EXPECT_EQ(coff->entryPoint(), 0x003F8000u);
    EXPECT_EQ(coff->callerBlock()[2], 3);
    ASSERT_EQ(coff->sectionCount(), 4);
    EXPECT_EQ(coffSectionName(*coff, *coff->section(1)), ".text");
    EXPECT_EQ(coffSectionName(*coff, *coff->section(2)), ".access_firmware_text");
    EXPECT_EQ(coff->section(2)->virtualAddress, 0x008400u);
    EXPECT_EQ(coff->section(2)->page, 1);
    EXPECT_EQ(coff->bssIndex(), 3);

    EXPECT_EQ(coffIsLoadable(*coff, 1), kCoffOk);
    EXPECT_EQ(coffIsLoadable(*coff, 3), kCoffNotLoadable);  // no raw data
    EXPECT_EQ(coffIsLoadable(*coff, 4), kCoffNotLoadable);  // not loaded, although the largest
    EXPECT_EQ(coff->largestLoadableBytes(), 200u);
    EXPECT_EQ(coff->largestLoadableIndex(), 1);

    // 100 C28x words asked for with room for 1000 bytes: exactly 200 bytes, in the file's order.
    std::vector<uint8_t> data(1000);
    uint64_t got = 0;
    ASSERT_EQ(coffReadSection(*coff, 1, data.data(), 0, data.size(), got), kCoffOk);
    EXPECT_EQ(got, 200u);
    const size_t hi = o.bigEndian ? 0 : 1;
    EXPECT_EQ(data[2 * 99 + hi] << 8 | data[2 * 99 + 1 - hi], 0x1234 + 99);
    EXPECT_EQ(coffClose(coff), kCoffOk);
    EXPECT_EQ(coff, nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllVersions, CoffLayoutTest,
                         ::testing::Values(Layout{0, false}, Layout{0, true}, Layout{1, false},
                                           Layout{1, true}, Layout{2, false}, Layout{2, true}));

TEST_F(CoffFileTest, LongNameCutByAStringTableChunkIsReadWhole) {
    // The first name ends just before a chunk's end, so the second one crosses it.
    const std::string first = "." + std::string(65490, 'a');
    const std::string second = ".second_long_name_across";
    CoffWriterOptions o;
    const std::string file = path(".out");
    ASSERT_TRUE(vztest::writeCoffFile(
        file, o, {{first, 0x8000, ramp(2, 0), 0, 0, true}, {second, 0x8100, ramp(2, 0), 0, 0, true}}));
    std::unique_ptr<CoffFile> coff;
    ASSERT_EQ(coffOpen(file, nullptr, coff), kCoffOk);
    EXPECT_EQ(coffSectionName(*coff, *coff->section(2)), second);
    char small[6];
    ASSERT_EQ(coffSectionName(*coff, *coff->section(2), sizeof small, small), kCoffOk);
    EXPECT_STREQ(small, ".seco");
    ASSERT_EQ(coffSectionName(*coff, *coff->section(1), sizeof small, small), kCoffOk);
    EXPECT_STREQ(small, ".aaaa");
}

// Damage applied to a good little-endian COFF2 file, and the code it must give.
struct Damage {
    const char* what;
    int code;
    std::function<void(std::vector<uint8_t>&)> apply;
};

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, static_cast<uint16_t>(v));
    put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

class CoffDamageTest : public CoffFileTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(CoffDamageTest, GivesItsCode) {
    CoffWriterOptions o;
    auto bytes = vztest::writeCoff(o, sampleSections());
    GetParam().apply(bytes);
    const std::string file = path(".out");
    ASSERT_TRUE(vztest::writeBytes(file, bytes));
    std::unique_ptr<CoffFile> coff;
    int rc = coffOpen(file, nullptr, coff);
    if (rc == kCoffOk) {
        // Damage that only shows when the contents are used.
        std::vector<uint8_t> data(512);
        uint64_t got = 0;
        rc = coffReadSection(*coff, 1, data.data(), 0, data.size(), got);
        if (rc == kCoffOk) rc = coffSectionName(*coff, *coff->section(2)).empty() ? kCoffReadError : kCoffOk;
    }
    EXPECT_EQ(rc, GetParam().code) << GetParam().what;
}

const size_t kSection1 = vztest::coffSectionHeaderOffset(CoffWriterOptions{}, 1);
const size_t kSection2 = vztest::coffSectionHeaderOffset(CoffWriterOptions{}, 2);

INSTANTIATE_TEST_SUITE_P(
    Files, CoffDamageTest,
    ::testing::Values(
        Damage{"shorter than a file header", kCoffReadError, [](auto& b) { b.resize(15); }},
        Damage{"65535 sections in a small file", kCoffReadError, [](auto& b) { put16(b, 2, 0xFFFF); }},
        Damage{"section headers cut off", kCoffReadError, [](auto& b) { b.resize(kSection2 + 10); }},
        Damage{"first field no COFF id", kCoffNotCoff, [](auto& b) { put16(b, 0, 0x0150); }},
        Damage{"version 2 with target 0xA0", kCoffNotCoff, [](auto& b) { put16(b, 20, 0x00A0); }},
        Damage{"section of 0xFFFFFFFF units", kCoffReadPastEnd,
               [](auto& b) { put32(b, kSection1 + 16, 0xFFFFFFFF); }},
        Damage{"section data beyond the end", kCoffReadPastEnd,
               [](auto& b) { put32(b, kSection1 + 20, 0x7FFFFFF0); }},
        Damage{
            "string table of 4 GB", kCoffReadError,
            [](auto& b) { put32(b, b.size() - 4 - std::strlen(".access_firmware_text") - 1, 0xFFFFFFFF); }},
        Damage{"name offset outside the string table", kCoffReadError,
               [](auto& b) { put32(b, kSection2 + 4, 0x00100000); }}),
    [](const auto& caseInfo) { return "Case" + std::to_string(caseInfo.index); });

TEST_F(CoffFileTest, MissingFileIndexAndOffsetErrors) {
    std::unique_ptr<CoffFile> coff;
    EXPECT_EQ(coffOpen(path("-missing"), nullptr, coff), kCoffCannotOpen);
    // A directory is no file to open; a device delivering zeros is read and is no COFF file.
    EXPECT_EQ(coffOpen(std::filesystem::temp_directory_path().string(), nullptr, coff), kCoffCannotOpen);
    EXPECT_EQ(coffOpen("/dev/zero", nullptr, coff), kCoffNotCoff);

    const std::string file = path(".out");
    ASSERT_TRUE(vztest::writeCoffFile(file, CoffWriterOptions{}, sampleSections()));
    ASSERT_EQ(coffOpen(file, nullptr, coff), kCoffOk);
    std::vector<uint8_t> data(16);
    uint64_t got = 0;
    EXPECT_EQ(coffReadSection(*coff, 0, data.data(), 0, 16, got), kCoffBadSectionIndex);
    EXPECT_EQ(coffReadSection(*coff, 5, data.data(), 0, 16, got), kCoffBadSectionIndex);
    EXPECT_EQ(coffIsLoadable(*coff, 5), kCoffNotLoadable);
    EXPECT_EQ(coffReadSection(*coff, 1, data.data(), 200, 16, got), kCoffReadPastEnd);  // at the end
    ASSERT_EQ(coffReadSection(*coff, 1, data.data(), 190, 16, got), kCoffOk);           // the last 10 bytes
    EXPECT_EQ(got, 10u);
}

TEST(CoffUnits, ByTarget) {
    EXPECT_EQ(coffUnitsToBytes(0x90, 64), 8u);
    EXPECT_EQ(coffUnitsToBytes(0x99, 64), 64u);
    EXPECT_EQ(coffUnitsToBytes(0x9D, 64), 128u);
    EXPECT_EQ(coffUnitsToBytes(0x93, 64), 256u);
    EXPECT_EQ(coffUnitsToBytes(0x94, 64), 0u);
}

}  // namespace
