// The access firmware as the host programs the flash through it: packet framing, acknowledgements
// and sequence numbers, the commands and their refusals, the work times, and the injected faults.
#include <vector>

#include "dsp_fixture.h"
#include "sim/tms320_access_commands.h"
#include "sim/tms320_flash.h"

namespace {

using vsim::DspFault;
using vsim::DspFaultKind;
using vsim::Tms320Flash;

class Tms320Access : public ::testing::Test {
  protected:
    void SetUp() override { f.startAccessFirmware(); }
    DspFixture f;
};

constexpr uint32_t kSectorJ = 0x3D8000;

TEST_F(Tms320Access, PingIsAcknowledgedAndEchoedWithCountingSequenceNumbers) {
    Bytes ping{0x00, 0x01};
    for (uint8_t b = 0; b <= 0x11; ++b) ping.push_back(b);
    for (uint8_t n = 0; n < 3; ++n) {
        const auto a = f.command(ping);
        EXPECT_EQ(a.ack, (Bytes{0x06, 0x66, 0x99, n, 0x00, 0x08, 0x00, 0x00}));
        Bytes expected{0x01, 0x99, 0x66, n, 0x00, 28, 0x00, 0x00, 0x00, 0x00};
        expected.insert(expected.end(), ping.begin() + 2, ping.end());
        EXPECT_EQ(a.reply, expected);
    }
    EXPECT_EQ(f.dsp().counters().packets, 3u);
    EXPECT_EQ(f.dsp().counters().acks, 3u);
}

TEST_F(Tms320Access, MemoryReadGivesTheIdentityFlashAndRam) {
    auto a = f.command(commandBlock(3, 0x882, 2));
    EXPECT_EQ(a.status(), 0);
    EXPECT_EQ(a.data(), (Bytes{0x00, 0x01, 0x00, 0x03})) << "part 1, revision 3";
    a = f.command(commandBlock(3, Tms320Flash::kFirmwareVersionBlock + 7, 1));
    EXPECT_EQ(a.data(), (Bytes{0x48, 0x0E}));
    EXPECT_EQ(f.command(commandBlock(2, 0xA000, 2, {}, {0x1234, 0xBEEF})).status(), 0);
    a = f.command(commandBlock(3, 0x9FFF, 3));
    EXPECT_EQ(a.data(), (Bytes{0x00, 0x00, 0x12, 0x34, 0xBE, 0xEF})) << "unwritten RAM reads 0";
    EXPECT_EQ(f.dsp().ram().at(0xA001), 0xBEEF);
    a = f.command(commandBlock(3, 0x100, 123));
    EXPECT_EQ(a.reply.size(), 256u) << "the largest read fills a packet";
}

TEST_F(Tms320Access, EraseWriteVerifyAndRead) {
    const std::vector<uint16_t> words{0x1234, 0x0000, 0xFFFE, 0x8001};
    f.dsp().flash().set(0x3DA000, 0x1234);                 // first word of sector I
    auto a = f.command(commandBlock(10, 0, 0, {0x0200}));  // sector J
    EXPECT_EQ(a.status(), 0);
    EXPECT_EQ(f.dsp().flash().read(kSectorJ), 0xFFFF);
    EXPECT_EQ(f.dsp().flash().read(0x3D9FFF), 0xFFFF);
    EXPECT_EQ(f.dsp().flash().read(0x3DA000), 0x1234) << "sector I is not touched";
    EXPECT_EQ(f.dsp().counters().sectorsErased, 1u);

    const int64_t before = f.clock.now;
    EXPECT_EQ(f.command(commandBlock(10, 0, 0, {0x0300})).status(), 0);  // I and J
    EXPECT_GE(f.clock.now - before, 2 * vsim::kEraseSectorUs) << "the reply waits for the erase";

    EXPECT_EQ(f.flashWrite(kSectorJ + 0x10, words).status(), 0);
    EXPECT_EQ(f.verify(kSectorJ + 0x10, words).status(), 0);
    a = f.command(commandBlock(13, kSectorJ + 0x10, 4));
    EXPECT_EQ(a.status(), 0);
    EXPECT_EQ(a.data(), (Bytes{0x12, 0x34, 0x00, 0x00, 0xFF, 0xFE, 0x80, 0x01}));
    a = f.command(commandBlock(3, kSectorJ + 0x10, 1));
    EXPECT_EQ(a.data(), (Bytes{0x12, 0x34})) << "memory read sees the flash too";
}

TEST_F(Tms320Access, WritingOverUnerasedFlashFailsOnlyAtVerify) {
    const std::vector<uint16_t> words{0x5555, 0xAAAA};
    EXPECT_EQ(f.command(commandBlock(10, 0, 0, {0x0200})).status(), 0);
    EXPECT_EQ(f.flashWrite(kSectorJ, {0x0F0F, 0xF0F0}).status(), 0);
    EXPECT_EQ(f.flashWrite(kSectorJ, words).status(), 0) << "programming reports success";
    EXPECT_EQ(f.dsp().flash().read(kSectorJ), 0x0505) << "bits are only cleared";
    EXPECT_NE(f.verify(kSectorJ, words).status(), 0);
}

TEST_F(Tms320Access, RefusedCommandsChangeNothing) {
    struct Case {
        const char* name;
        Bytes block;
    };
    const uint16_t before = f.dsp().flash().read(kSectorJ);
    const Case cases[] = {
        {"erase mask above sector J", commandBlock(10, 0, 0, {0x0400 | 0x0200})},
        {"memory write into the flash", commandBlock(2, kSectorJ, 1, {}, {0x0000})},
        {"flash write outside the flash", commandBlock(11, 0x3F7FFF, 2, {}, {0, 0})},
        {"flash write with fewer words than announced", commandBlock(11, kSectorJ, 2, {}, {0})},
        {"read of more than a reply holds", commandBlock(3, 0x100, 124)},
        {"flash read outside the flash", commandBlock(13, 0x8000, 1)},
        {"verify outside the flash", commandBlock(12, 0x3F7FF0, 0x20)},
        {"unknown command", commandBlock(7)},
        {"block too short", Bytes{0x00, 0x03, 0x00}},
    };
    for (const Case& c : cases) {
        const auto a = f.command(c.block);
        EXPECT_EQ(a.ack.at(0), 0x06) << c.name;
        EXPECT_NE(a.status(), 0) << c.name;
        EXPECT_EQ(a.reply.size(), 10u) << c.name << ": status only";
    }
    EXPECT_EQ(f.dsp().flash().read(kSectorJ), before);
    EXPECT_EQ(f.dsp().counters().sectorsErased, 0u);
}

TEST_F(Tms320Access, BadLengthOrCheckIsNakedAndNotExecuted) {
    // Total length 8: a header without data.
    auto a = f.command({});
    EXPECT_EQ(a.ack, (Bytes{0x15, 0x66, 0x99, 0x00, 0x00, 0x08, 0x00, 0x00}));
    EXPECT_TRUE(a.reply.empty());
    a = f.command(commandBlock(10, 0, 0, {0x0200}), 0x1234);
    EXPECT_EQ(a.ack, (Bytes{0x15, 0x66, 0x99, 0x01, 0x00, 0x08, 0x12, 0x34}));
    EXPECT_TRUE(a.reply.empty());
    // 115 words make a packet of 258 bytes.
    const uint16_t before = f.dsp().flash().read(kSectorJ + 1);
    a = f.command(commandBlock(11, kSectorJ, 115, {}, std::vector<uint16_t>(115)));
    EXPECT_EQ(a.ack.at(0), 0x15);
    EXPECT_EQ(f.dsp().counters().sectorsErased, 0u);
    EXPECT_EQ(f.dsp().flash().read(kSectorJ + 1), before);
    EXPECT_EQ(f.dsp().counters().naks, 3u);
    a = f.command(commandBlock(3, 0x882, 1));
    EXPECT_EQ(a.ack.at(0), 0x06) << "in step again after the NAKs";
    EXPECT_EQ(a.reply.at(3), 0x00) << "NAKed packets get no reply and use no sequence number";
}

TEST(Tms320Faults, EachKindOnce) {
    struct Case {
        const char* dsp;
        int packet;  // which packet (1-based) the fault should hit; 0: a boot stream fault
        bool ack, nak, reply;
        uint8_t replySequence;
    };
    const Case cases[] = {
        {R"({ "faults": [ { "kind": "lostAck", "nth": 2 } ] })", 2, false, false, true, 1},
        {R"({ "faults": [ { "kind": "nak", "nth": 2 } ] })", 2, false, true, false, 0},
        {R"({ "faults": [ { "kind": "wrongSequence", "nth": 3 } ] })", 3, true, false, true, 1},
        // Only memory reads count: the ping packets before do not.
        {R"({ "faults": [ { "kind": "nak", "nth": 1, "command": 3 } ] })", 3, false, true, false, 0},
    };
    for (const Case& c : cases) {
        DspFixture f(dspScenario(c.dsp));
        f.startAccessFirmware();
        Bytes ping{0x00, 0x01};
        for (uint8_t b = 0; b <= 0x11; ++b) ping.push_back(b);
        for (int n = 1; n <= 3; ++n) {
            const auto a = f.command(n == 3 ? commandBlock(3, 0x882, 1) : ping);
            if (n != c.packet) {
                EXPECT_EQ(a.ack.size(), 8u) << c.dsp << " packet " << n;
                EXPECT_FALSE(a.reply.empty()) << c.dsp << " packet " << n;
                continue;
            }
            EXPECT_EQ(!a.ack.empty() && a.ack[0] == 0x06, c.ack) << c.dsp;
            EXPECT_EQ(!a.ack.empty() && a.ack[0] == 0x15, c.nak) << c.dsp;
            EXPECT_EQ(!a.reply.empty(), c.reply) << c.dsp;
            if (c.reply) {
                EXPECT_EQ(a.reply.at(3), c.replySequence) << c.dsp;
            }
        }
        // A fault fires once: the next packet goes through.
        const auto a = f.command(ping);
        EXPECT_EQ(a.ack.size(), 8u) << c.dsp;
        EXPECT_FALSE(a.reply.empty()) << c.dsp;
    }

    // The boot stream's fourth byte is taken but not echoed.
    DspFixture f(dspScenario(R"({ "faults": [ { "kind": "lostEcho", "nth": 4 } ] })"));
    f.pulse(true);
    f.bootLine();
    EXPECT_EQ(f.send({'A'}), Bytes{'A'}) << "the autobaud byte is not part of the stream";
    Bytes stream = accessFirmwareStream();
    Bytes expected = stream;
    expected.erase(expected.begin() + 3);
    EXPECT_EQ(f.sendEchoed(stream), expected);
    EXPECT_EQ(f.dsp().state(), vsim::Tms320State::AccessFirmware) << "the loader still took the byte";
}

TEST_F(Tms320Access, FaultsAddedAtRunTimeCountFromTheStartOfTheStage) {
    f.command(commandBlock(3, 0x882, 1));
    f.dsp().addFault(DspFault{DspFaultKind::LostAck, 2, std::nullopt});
    EXPECT_EQ(f.command(commandBlock(3, 0x882, 1)).ack.size(), 8u) << "counted from the fault's adding";
    EXPECT_TRUE(f.command(commandBlock(3, 0x882, 1)).ack.empty());

    // A fresh stage counts again from the start; a fired fault stays spent.
    f.dsp().addFault(DspFault{DspFaultKind::Nak, 1, uint16_t{3}});
    f.startAccessFirmware();
    const auto a = f.command(commandBlock(3, 0x882, 1));
    EXPECT_EQ(a.ack.at(0), 0x15);
    EXPECT_EQ(f.command(commandBlock(3, 0x882, 1)).ack.size(), 8u);
}

}  // namespace

namespace {

TEST(Tms320Timing, AckFollowsThePacketAndTheReplyTheWork) {
    DspFixture f(dspScenario("", R"(, "lineRate": true)"));
    f.startAccessFirmware();
    // An erase of two sectors: 28 bytes in, each 11 bits at 115200 baud. The ack is due when the
    // last byte is in, the reply when the erase is done; both then take their own wire time.
    Bytes packet{0x01, 0x66, 0x99, 0x00, 0x00, 28, 0x00, 0x00};
    const Bytes block = commandBlock(10, 0, 0, {0x0300});
    packet.insert(packet.end(), block.begin(), block.end());
    auto wireUs = [](int64_t bytes) { return (bytes * 11 * 1000000 + 115199) / 115200; };
    const int64_t start = f.clock.now;
    f.crate->write(f.slot, packet.data(), packet.size());
    Bytes in(10);
    bool ok = false;
    ASSERT_EQ(f.crate->read(f.slot, in.data(), 8, 2000, ok), 8u);
    EXPECT_EQ(f.clock.now - start, wireUs(28) + wireUs(8));
    ASSERT_EQ(f.crate->read(f.slot, in.data(), 10, 2000, ok), 10u);
    EXPECT_EQ(f.clock.now - start, wireUs(28) + 2 * vsim::kEraseSectorUs + wireUs(10));
}

}  // namespace
