// The controller's copy of every channel in its word-addressed space, and its configuration record.
#include "crate_fixture.h"

namespace {

Bytes readWords(CrateFixture& f, uint32_t wordAddress, int bytes) {
    const uint32_t a = wordAddress + 0x20000;
    const Bytes reply =
        f.exchange(sealed({0xFF, static_cast<uint8_t>(0xA8 | (bytes / 2)), static_cast<uint8_t>(a),
                           static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a >> 16)}),
                   static_cast<size_t>(bytes + 6));
    if (reply.size() != static_cast<size_t>(bytes + 6) || (reply[1] & 7) == 7) return {};
    return Bytes(reply.begin() + 5, reply.end() - 1);
}

std::string cached(int channels) {
    return smallScenario(R"(, "cacheChannels": )" + std::to_string(channels));
}

TEST(ControllerCache, CopiesOfEachChannelAtTheirWordAddresses) {
    CrateFixture f(cached(12));
    // System record of channel 5 at 0x9022 + 88 * 5 = 0x91FA: serial number first.
    EXPECT_EQ(readWords(f, 0x9022 + 88 * 5, 4), (Bytes{0x78, 0x56, 0x34, 0x12}));
    // Empty channel: zeros, so the search takes it as empty.
    EXPECT_EQ(readWords(f, 0x9022 + 88 * 3, 4), (Bytes{0, 0, 0, 0}));
    // User record of channel 0 at 0x9002: idGroup 1, Unom 12 V = 24576 with exponent -11.
    EXPECT_EQ(readWords(f, 0x9002, 4), (Bytes{0x01, 0x00, 0x00, 0x60}));
    // A read spanning user and system copies reads through.
    EXPECT_EQ(readWords(f, 0x9002 + 88 * 5 + 30, 8), (Bytes{0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}));
    // Measurement block 1 of channel 0 (0x9046): temperature 25.
    EXPECT_EQ(readWords(f, 0x9046, 8), (Bytes{0x19, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ControllerCache, MeasurementCopyMatchesTheModule) {
    CrateFixture f(cached(16));
    f.exchange(sealed({0x80, 0x31, 0x01, 0x00}), 3);  // channel 0 on
    f.clock.now += 2000000;                           // ramp 10 V/s to 12 V: done after 1.2 s
    const Bytes direct = f.exchange(sealed({0x80, 0xC4}), 11);
    ASSERT_EQ(direct.size(), 11u);
    EXPECT_EQ(readWords(f, 0x9042, 8), Bytes(direct.begin() + 2, direct.end() - 1));
}

TEST(ControllerCache, CacheWordsAndLimits) {
    std::string json = cached(12);
    const std::string key = R"("channel": 5,)";
    json.replace(json.find(key), key.size(), R"("channel": 5, "cacheWords": [4660, 22136],)");
    CrateFixture f(json);
    EXPECT_EQ(readWords(f, 0x9052 + 88 * 5, 4), (Bytes{0x34, 0x12, 0x78, 0x56}));
    EXPECT_TRUE(readWords(f, 0x9022 + 88 * 12, 4).empty()) << "channel 12 is beyond a 12-channel cache";
}

TEST(ControllerCache, ConfigurationRecordByControllerType) {
    // 0x9420 for 12-channel controllers, 0x9580 for 16 channels and for the KRAT.
    CrateFixture twelve(smallWdxScenario(R"(, "cacheChannels": 12, "config": { "ip": "10.1.2.3" })"));
    EXPECT_EQ(readWords(twelve, 0x9420, 4), (Bytes{0x03, 0x02, 0x01, 0x0A}));
    EXPECT_TRUE(readWords(twelve, 0x9580, 4).empty());
    CrateFixture krat(smallScenario(R"(, "config": { "ip": "10.1.2.3", "mac": "00:50:C2:5A:10:01" })"));
    EXPECT_EQ(readWords(krat, 0x9580, 4), (Bytes{0x03, 0x02, 0x01, 0x0A}));
    EXPECT_EQ(readWords(krat, 0x9580 + 7, 6), (Bytes{0x01, 0x10, 0x5A, 0xC2, 0x50, 0x00}))
        << "MAC low, middle, high";
}

}  // namespace
