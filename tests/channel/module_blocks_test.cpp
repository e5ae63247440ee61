#include <cstring>

#include "base/settings.h"
#include "channel/module_memory_map.h"
#include "channel_fixture.h"

namespace vz::test {
namespace {

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i);
    return bytes;
}

template <typename Record>
std::vector<uint8_t> bytesOfRecord(const Record& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return {p, p + sizeof record};
}

class ModuleBlocks : public ChannelFixture {};

TEST_F(ModuleBlocks, ConfigurationBlocksComeFromTheModule) {
    QOR& q = channel(5);
    link.putBytes(0x85, 0x1000, pattern(64, 1));
    link.putBytes(0x85, 0x2000, pattern(64, 100));
    EXPECT_EQ(q.system().readFromModule(), 0);
    EXPECT_EQ(q.user().readFromModule(), 0);
    EXPECT_EQ(bytesOfRecord<MODULE_SYSTEM_CONFIG_DATA>(q), pattern(64, 1));
    EXPECT_EQ(bytesOfRecord<MODULE_USER_CONFIG_DATA>(q), pattern(64, 100));
    ASSERT_EQ(link.requests.size(), 16u);
    EXPECT_EQ(link.requests[0].module, 0x85);
    EXPECT_EQ(link.requests[0].address, 0x1000u);
    EXPECT_EQ(link.requests[7].address, 0x1038u);
    EXPECT_EQ(link.requests[8].address, 0x2000u);
}

TEST_F(ModuleBlocks, ShortReadFailsAndKeepsWhatArrived) {
    QOR& q = channel(5);
    q.system().serialNumber = 0xDEADBEEF;
    q.system().pwmMinPeriod = 77;
    link.putBytes(0x85, 0x1000, pattern(64, 1));
    link.failReadAt(0x85, 0x1010);
    EXPECT_EQ(q.system().readFromModule(), kBlockReadFailed);
    const std::vector<uint8_t> got = bytesOfRecord<MODULE_SYSTEM_CONFIG_DATA>(q);
    const std::vector<uint8_t> sent = pattern(64, 1);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 16, sent.begin()));
    EXPECT_EQ(q.system().pwmMinPeriod, 77);
}

struct CacheCase {
    int channelLimit;
    bool system;
    uint32_t firstAddress;
};

// Under -x the configuration comes from the controller (module 255) in the word-addressed space.
TEST_F(ModuleBlocks, UnderOptionXConfigurationComesFromTheControllerCache) {
    const CacheCase cases[] = {{12, true, 0x2912A}, {16, false, 0x2910A}};
    crateSettings().fCmdLine |= kConfigFromCache;
    QOR& q = channel(3);
    link.putWords(0xFF, 0x912A, pattern(64, 33));
    link.putWords(0xFF, 0x910A, pattern(64, 66));
    for (const CacheCase& c : cases) {
        crateSettings().typeChannelLimit = c.channelLimit;
        link.requests.clear();
        EXPECT_EQ(c.system ? q.system().readFromModule() : q.user().readFromModule(), 0);
        ASSERT_EQ(link.requests.size(), 8u);
        EXPECT_EQ(link.requests[0].module, kControllerAddress);
        EXPECT_EQ(link.requests[0].address, c.firstAddress);
        EXPECT_EQ(link.requests[1].address, c.firstAddress + 4);
    }
    EXPECT_EQ(bytesOfRecord<MODULE_SYSTEM_CONFIG_DATA>(q), pattern(64, 33));
    EXPECT_EQ(bytesOfRecord<MODULE_USER_CONFIG_DATA>(q), pattern(64, 66));
}

TEST_F(ModuleBlocks, UnderOptionXWithoutKnownCacheLayoutNothingIsRead) {
    crateSettings().fCmdLine |= kConfigFromCache;
    QOR& q = channel(3);
    for (int limit : {60, 127}) {
        crateSettings().typeChannelLimit = limit;
        EXPECT_EQ(q.system().readFromModule(), kBlockReadFailed);
        EXPECT_EQ(q.user().readFromModule(), kBlockReadFailed);
    }
    EXPECT_TRUE(link.requests.empty());
    ASSERT_EQ(logLines.size(), 4u);
    EXPECT_NE(logLines[0].find("U3"), std::string::npos);
    EXPECT_EQ(logLines[0][0], 'E');
}

TEST_F(ModuleBlocks, FirmwareIsReadFromTheModuleEvenUnderOptionX) {
    crateSettings().fCmdLine |= kConfigFromCache;
    QOR& q = channel(8);
    std::vector<uint8_t> block(20, 0);
    std::memcpy(block.data(), "DEVIZ 2", 7);
    block[16] = 4;
    block[19] = 1;
    link.putBytes(0x88, 0x0000, block);
    EXPECT_EQ(q.firmware().readFromModule(), 0);
    EXPECT_EQ(std::string(q.name, 7), "DEVIZ 2");
    EXPECT_EQ(q.version, 0x01000004u);
    EXPECT_EQ(link.requests.size(), 3u);
    EXPECT_EQ(link.requests[2].address, 0x0010u);
}

TEST_F(ModuleBlocks, FirmwareReadFailureLeavesTheMarker) {
    QOR& q = channel(8);
    std::memcpy(q.name, "ABCDEFGHIJKLMNOP", 16);
    q.version = 0x01020304;
    link.failReadAt(0x88, 0x0008);
    EXPECT_EQ(q.firmware().readFromModule(), kBlockReadFailed);
    EXPECT_EQ(std::string(q.name, 16), std::string("! Read Error !\0\0", 16));
    EXPECT_EQ(q.version, 0u);
}

TEST_F(ModuleBlocks, ChannelWithoutModuleAddressReadsNothing) {
    QOR q;
    EXPECT_EQ(q.system().readFromModule(), kBlockReadFailed);
    EXPECT_EQ(q.user().readFromModule(), kBlockReadFailed);
    EXPECT_EQ(q.firmware().readFromModule(), kBlockReadFailed);
    EXPECT_TRUE(link.requests.empty());
}

}  // namespace
}  // namespace vz::test
