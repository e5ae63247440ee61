// The serial link byte by byte against a scripted processor in virtual time: the boot stream, the
// packet protocol and the commands built on it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "prg/boot_commands.h"
#include "prg/boot_stream.h"
#include "prg/packet_protocol.h"
#include "tests/prg/fake_serial_port.h"
#include "tests/support/coff_writer.h"

using namespace vzprg;
using vztest::FakeSerialPort;
using Bytes = std::vector<uint8_t>;

namespace {

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const PrgSerialPort p = fake.port();
        link.setPort(&p);
        link.callback = [](PRG_HANDLE, int, const char* text) { messages += text; };
        messages.clear();
    }
    void packets() {
        fake.mode = FakeSerialPort::Mode::Packets;
        link.connected = 1;
    }
    Bytes tail(size_t n) const {
        return Bytes(fake.written.end() - static_cast<long>(n), fake.written.end());
    }
    static uint16_t be16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }

    FakeSerialPort fake;
    BootLink link;
    static std::string messages;
};
std::string LinkTest::messages;

TEST_F(LinkTest, BootAndBlockHeadersAreEchoedByteByByte) {
    ASSERT_EQ(sendBootHeader(link, 0x003F8000), 0);
    ASSERT_EQ(fake.written.size(), 22u);
    EXPECT_EQ(Bytes(fake.written.begin(), fake.written.begin() + 2), (Bytes{0xAA, 0x08}));
    EXPECT_EQ(tail(4), (Bytes{0x3F, 0x00, 0x00, 0x80}));
    ASSERT_EQ(sendBlockHeader(link, 0x008000, 0x123), 0);
    EXPECT_EQ(tail(6), (Bytes{0x23, 0x01, 0x00, 0x00, 0x00, 0x80}));

    fake.mode = FakeSerialPort::Mode::Silent;  // no echo: the step fails after its echo wait
    EXPECT_EQ(sendBootHeader(link, 0), -1);
    fake.mode = FakeSerialPort::Mode::Echo;
    fake.queue({0x55});  // a stale byte makes the first echo differ
    EXPECT_EQ(sendBootHeader(link, 0), -1);
}

TEST_F(LinkTest, AccessFirmwareDownload) {
    const auto file = std::filesystem::temp_directory_path() / ("vz-link-access-" + std::to_string(getpid()) + ".out");
    vztest::CoffWriterOptions o;
    o.entryPoint = 0x008000;
    std::vector<uint16_t> code(300);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint16_t>(0x1100 + i);
    ASSERT_TRUE(vztest::writeCoffFile(file, o,
                                      {{".text", 0x008000, code, 0x20, 0, true},
                                       {".ebss", 0x009000, std::vector<uint16_t>(8), 0x80, 0, false}}));
    ASSERT_EQ(LoadAccessFirmware(link, file.c_str()), 0);
    std::filesystem::remove(file);
    // Header, one block header, 600 data bytes low byte first, terminator.
    ASSERT_EQ(fake.written.size(), 22u + 6 + 600 + 2);
    EXPECT_EQ(Bytes(fake.written.begin() + 22, fake.written.begin() + 30),
              (Bytes{0x2C, 0x01, 0x00, 0x00, 0x00, 0x80, 0x00, 0x11}));
    EXPECT_EQ(tail(2), (Bytes{0, 0}));
    EXPECT_NE(messages.find("    Entry point 0x00008000\r\n"), std::string::npos);
    EXPECT_NE(messages.find("    Section Address = 0x00008000, Number of words = 300...\r\n"),
              std::string::npos);

    messages.clear();
    EXPECT_EQ(LoadAccessFirmware(link, "/nonexistent/F2812SerialFlash.out"), -1);
    EXPECT_EQ(messages, "Unable to open file \"/nonexistent/F2812SerialFlash.out\"\r\n");
    EXPECT_EQ(LoadAccessFirmware(link, ""), -1);
}

TEST_F(LinkTest, PacketLayoutAndSequenceNumbers) {
    packets();
    const uint8_t data[3] = {0xA1, 0xA2, 0xA3};
    ASSERT_EQ(PktSendMsg(link, data, 3), 3);
    EXPECT_EQ(fake.written, (Bytes{0x01, 0x66, 0x99, 0x00, 0x00, 0x0B, 0x00, 0x00, 0xA1, 0xA2, 0xA3}));
    for (int i = 1; i < 256; ++i) ASSERT_EQ(PktSendMsg(link, data, 1), 1);
    EXPECT_EQ(fake.packets[255].sequence, 255);
    ASSERT_EQ(PktSendMsg(link, data, 1), 1);
    EXPECT_EQ(fake.packets[256].sequence, 0);  // wraps
}

TEST_F(LinkTest, PacketSizeLimitIsCheckedBeforeTheLine) {
    packets();
    const Bytes big(249, 0x5A);
    EXPECT_EQ(PktSendMsg(link, big.data(), 248), 248);
    fake.written.clear();
    EXPECT_EQ(PktSendMsg(link, big.data(), 249), 0);
    EXPECT_TRUE(fake.written.empty());
    uint8_t buffer[249];
    EXPECT_EQ(PktRecvMsg(link, buffer, 249, 0), 0);
    EXPECT_TRUE(fake.written.empty());
}

TEST_F(LinkTest, SendFailsOnNakLostOrWrongAcknowledgement) {
    packets();
    const uint8_t data[1] = {7};
    struct Case {
        const char* what;
        FakeSerialPort::Firmware firmware;
    };
    const Case cases[] = {
        {"NAK",
         [](const vztest::HostPacket&) {
             return FakeSerialPort::Answer{0x15, {}};
         }},
        {"lost",
         [](const vztest::HostPacket&) {
             return FakeSerialPort::Answer{0, {}};
         }},
    };
    for (const auto& c : cases) {
        fake.firmware = c.firmware;
        const uint64_t before = fake.now;
        EXPECT_EQ(PktSendMsg(link, data, 1), 0) << c.what;
        EXPECT_LT(fake.now - before, 40u) << c.what;  // given up after the 20 ms acknowledgement wait
    }
    EXPECT_TRUE(fake.logged("E PktSendMsg: AckOrNak = MSG_NAK"));
    EXPECT_TRUE(fake.logged("E PktSendMsg: TIMEOUT_PKT_SEND_MSG timeout"));
    // An acknowledgement of another sequence number does not count.
    fake.firmware = {};
    fake.mode = FakeSerialPort::Mode::Silent;
    fake.queue({0x06, 0x66, 0x99, 0x77, 0x00, 0x08, 0x00, 0x00});
    EXPECT_EQ(PktSendMsg(link, data, 1), 0);
    EXPECT_TRUE(fake.logged("E PktSendMsg: Wrong AckBuf data"));
}

TEST_F(LinkTest, ReceivedPacketsAreAcknowledgedOrRefused) {
    fake.mode = FakeSerialPort::Mode::Silent;
    uint8_t buffer[248];
    fake.queue(fake.replyPacket({0x00, 0x00, 0xBE, 0xEF}));
    ASSERT_EQ(PktRecvMsg(link, buffer, 248, 0), 4);
    EXPECT_EQ(buffer[2], 0xBE);
    EXPECT_EQ(fake.written, (Bytes{0x06, 0x99, 0x66, 0x00, 0x00, 0x08, 0x00, 0x00}));

    // The same sequence number again: a repetition, neither acknowledged nor delivered.
    fake.written.clear();
    fake.replySequence = 0;
    fake.queue(fake.replyPacket({0x11}));
    EXPECT_EQ(PktRecvMsg(link, buffer, 248, 0), 0);
    EXPECT_TRUE(fake.written.empty());
    fake.incoming.clear();

    // Total length 8 (no data): NAK.
    fake.queue({0x01, 0x99, 0x66, 0x05, 0x00, 0x08, 0x00, 0x00});
    EXPECT_EQ(PktRecvMsg(link, buffer, 248, 0), 0);
    EXPECT_EQ(fake.written, (Bytes{0x15, 0x99, 0x66, 0x05, 0x00, 0x08, 0x00, 0x00}));

    // A check field other than 0: NAK.
    fake.written.clear();
    fake.replySequence = 6;
    fake.queue(fake.replyPacket({1, 2}, 0x1234));
    EXPECT_EQ(PktRecvMsg(link, buffer, 248, 0), 0);
    EXPECT_EQ(fake.written[0], 0x15);
    EXPECT_TRUE(fake.logged("E PktRecvMsg: CalcCrc != RecvCrc"));

    // More data than the capacity: only the capacity is delivered.
    fake.queue(fake.replyPacket(Bytes(10, 0x42)));
    EXPECT_EQ(PktRecvMsg(link, buffer, 4, 0), 4);

    // Nothing at all: the time-out (100 ms for 0) ends the wait.
    const uint64_t before = fake.now;
    EXPECT_EQ(PktRecvMsg(link, buffer, 248, 0), 0);
    EXPECT_GE(fake.now - before, 100u);
    EXPECT_LT(fake.now - before, 130u);
}

// The firmware's reply to a read: status 0 and the words asked for, counting up from the address.
FakeSerialPort::Answer readReply(const vztest::HostPacket& p) {
    const uint32_t address = uint32_t{p.data[2]} << 24 | p.data[3] << 16 | p.data[4] << 8 | p.data[5];
    const int words = p.data[8] << 8 | p.data[9];
    Bytes reply{0, 0};
    for (int i = 0; i < words; ++i) {
        reply.push_back(static_cast<uint8_t>((address + i) >> 8));
        reply.push_back(static_cast<uint8_t>(address + i));
    }
    return {0x06, reply};
}

TEST_F(LinkTest, MemReadInChunksWithTheirTimeouts) {
    packets();
    fake.firmware = readReply;
    std::vector<uint16_t> buffer(250, 0);
    link.request = {0x8000, 0, 500, buffer.data(), nullptr, kCmdMemRead};
    ASSERT_EQ(MemRead(link), 0);
    ASSERT_EQ(fake.packets.size(), 3u);
    const int words[] = {113, 113, 24};
    const uint32_t addresses[] = {0x8000, 0x8000 + 113, 0x8000 + 226};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(be16(fake.packets[i].data, 0), kCmdMemRead);
        EXPECT_EQ(be16(fake.packets[i].data, 4), addresses[i]);
        EXPECT_EQ(be16(fake.packets[i].data, 8), words[i]);
        EXPECT_EQ(be16(fake.packets[i].data, 18), 0xFFFF);
    }
    EXPECT_TRUE(fake.logged("PktRecvMsg(pMsg, Count 248, timeout 2)"));
    EXPECT_TRUE(fake.logged("PktRecvMsg(pMsg, Count 248, timeout 0)"));
    EXPECT_EQ(buffer[0], 0x8000);
    EXPECT_EQ(buffer[249], 0x8000 + 249);
    EXPECT_EQ(link.status, 0);
}

TEST_F(LinkTest, MemReadNeverWritesPastTheRequest) {
    packets();
    // A firmware that always answers with 100 words.
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes(202, 0x11)}; };
    std::vector<uint16_t> buffer(4, 0);
    link.request = {0x8000, 0, 6, buffer.data(), nullptr, kCmdFlashRead};
    ASSERT_EQ(MemRead(link), 0);
    EXPECT_EQ(buffer[2], 0x1111);
    EXPECT_EQ(buffer[3], 0);

    // A status word without data is a failed read.
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0, 0}}; };
    EXPECT_EQ(MemRead(link), -1);
    EXPECT_EQ(messages.substr(messages.size() - 21), "Failed data receive\r\n");
}

TEST_F(LinkTest, MemWriteChunksParametersAndFailures) {
    packets();
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0, 0}}; };
    const uint16_t data[3] = {0x1234, 0xABCD, 0x5555};
    link.request = {0x3D8000, 0, 5, nullptr, data, kCmdMemWrite};
    ASSERT_EQ(MemWrite(link), 0);
    ASSERT_EQ(fake.packets.size(), 1u);
    const Bytes& p = fake.packets[0].data;
    ASSERT_EQ(p.size(), 24u);  // 5 bytes are 2 words
    EXPECT_EQ(be16(p, 2), 0x003D);
    EXPECT_EQ(be16(p, 8), 2);
    EXPECT_EQ(be16(p, 20), 0x1234);
    EXPECT_EQ(be16(p, 22), 0xABCD);

    // Flash writes carry the programming options and their time-out; 300 bytes go as 228 + 72.
    fake.packets.clear();
    link.options.prgProgrammingOption1 = 0x11;
    link.options.prgProgrammingOption4 = 0x44;
    link.options.prgProgrammingTimeout = 700;
    std::vector<uint16_t> image(150, 0x7777);
    link.request = {0x3D8000, 0, 300, nullptr, image.data(), kCmdFlashWrite};
    ASSERT_EQ(MemWrite(link), 0);
    ASSERT_EQ(fake.packets.size(), 2u);
    EXPECT_EQ(be16(fake.packets[0].data, 8), 114);
    EXPECT_EQ(be16(fake.packets[0].data, 10), 0x11);
    EXPECT_EQ(be16(fake.packets[0].data, 16), 0x44);
    EXPECT_EQ(be16(fake.packets[1].data, 4), 0x8000 + 114);
    EXPECT_TRUE(fake.logged("timeout 700"));

    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0, 5}}; };
    EXPECT_EQ(MemWrite(link), -1);
    EXPECT_NE(messages.find("Write Failed, Address = 003d8000, Error = 5\r\n"), std::string::npos);
}

TEST_F(LinkTest, EraseTimeoutGrowsWithTheSectorCount) {
    packets();
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0, 0}}; };
    link.options.prgEraseTimeout = 10;
    struct Case {
        uint32_t mask;
        const char* timeout;
    };
    for (const Case c :
         {Case{0x0001, "timeout 300)"}, Case{0x0003, "timeout 600)"}, Case{0x03FC, "timeout 2700)"}}) {
        fake.logs.clear();
        EXPECT_EQ(EraseSectors(link, c.mask), 0);
        EXPECT_TRUE(fake.logged(c.timeout)) << c.mask;
        EXPECT_EQ(be16(fake.packets.back().data, 10), c.mask);
    }
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0, 3}}; };
    EXPECT_EQ(EraseSectors(link, 1), 3);
    EXPECT_EQ(link.status, 3);
    link.status = PRG_STATUS_BUSY;
    EXPECT_EQ(EraseSectors(link, 1), PRG_STATUS_BUSY);
}

TEST_F(LinkTest, VerifySendsTheSumOfTheWords) {
    packets();
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0, 0}}; };
    link.options.prgVerifyOption1 = 0x0F0F;
    const uint16_t data[3] = {0xFFFF, 0x0002, 0x0010};
    ASSERT_EQ(VerifyChecksum(link, 0x3D8000, 0, 6, data), 0);
    const Bytes& p = fake.packets.back().data;
    ASSERT_EQ(p.size(), 20u);
    EXPECT_EQ(be16(p, 0), kCmdFlashVerify);
    EXPECT_EQ(be16(p, 8), 3);
    EXPECT_EQ(be16(p, 10), 0x0F0F);
    EXPECT_EQ(be16(p, 16), 0x0011);  // modulo 65536
    fake.firmware = [](const vztest::HostPacket&) { return FakeSerialPort::Answer{0x06, Bytes{0x80, 0x01}}; };
    EXPECT_EQ(VerifyChecksum(link, 0x3D8000, 0, 6, data), -1);
    EXPECT_NE(messages.find("Verify Failed, Address = 003d8000\r\n"), std::string::npos);
}

TEST_F(LinkTest, PingChecksTheEchoedPattern) {
    packets();
    fake.firmware = [](const vztest::HostPacket& p) {
        Bytes reply{0, 0};
        reply.insert(reply.end(), p.data.begin() + 2, p.data.end());
        return FakeSerialPort::Answer{0x06, reply};
    };
    ASSERT_EQ(PingChannel(link), 0);
    EXPECT_EQ(fake.packets.back().data,
              (Bytes{0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
    fake.firmware = [](const vztest::HostPacket&) {
        return FakeSerialPort::Answer{0x06, Bytes{0, 0, 0, 1, 2}};
    };
    EXPECT_EQ(PingChannel(link), -1);
    EXPECT_EQ(messages.substr(messages.size() - 23), "Invalid return packet\r\n");
}

}  // namespace
