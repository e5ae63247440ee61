// The pcapng capture of link exchanges: its block structure, and tshark's reading of it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/snmp/snmp_fixture.h"

namespace vz::test {
namespace {

struct Packet {
    uint32_t interfaceId;
    Bytes data;
    uint32_t flags;
};

struct Capture {
    std::vector<uint16_t> linkTypes;
    std::vector<Packet> packets;
    bool wellFormed = true;
};

uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Reads the blocks back (this machine is little-endian, as the file says in its byte-order magic).
Capture readCapture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Capture c;
    size_t at = 0;
    while (at + 12 <= b.size()) {
        const uint32_t type = le32(b, at), length = le32(b, at + 4);
        if (length < 12 || length % 4 || at + length > b.size() || le32(b, at + length - 4) != length) {
            c.wellFormed = false;
            break;
        }
        if (type == 0x0A0D0D0A) {
            c.wellFormed &= le32(b, at + 8) == 0x1A2B3C4D;
        } else if (type == 1) {
            c.linkTypes.push_back(static_cast<uint16_t>(b[at + 8] | b[at + 9] << 8));
        } else if (type == 6) {
            const uint32_t captured = le32(b, at + 20);
            Packet p{le32(b, at + 8), Bytes(b.begin() + at + 28, b.begin() + at + 28 + captured), 0};
            size_t opt = at + 28 + (captured + 3) / 4 * 4;
            while (opt + 4 <= at + length - 4) {
                const uint16_t code = b[opt] | b[opt + 1] << 8, size = b[opt + 2] | b[opt + 3] << 8;
                if (code == 0) break;
                if (code == 2 && size == 4) p.flags = le32(b, opt + 4);
                opt += 4 + (size + 3u) / 4 * 4;
            }
            c.packets.push_back(p);
        }
        at += length;
    }
    c.wellFormed &= at == b.size();
    return c;
}

class LinkCaptureTest : public SnmpFixture {
  protected:
    void SetUp() override {
        SnmpFixture::SetUp();
        path = (std::filesystem::temp_directory_path() /
                ("vz-capture-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pcapng"))
                   .string();
    }
    void TearDown() override {
        SnmpFixture::TearDown();
        std::filesystem::remove(path);
    }
    // One SNMP readAddr and one direct readShort.
    void exchange() {
        std::string error;
        ASSERT_TRUE(startLinkCapture(path, error)) << error;
        peer.answerEveryRequestWith({0x85, 0x0A, 0x00, 0x10, 0x00, 0x01, 0x02});
        uint8_t data[2];
        ASSERT_EQ(snmpReadAddr(0x85, 2, 0x1000, data, 2), 2);
        bindDirectOperations();
        peer.script = nullptr;
        Bytes reply{0x85, 0x00, 0x33, 0x44};
        reply.push_back(static_cast<uint8_t>(0x5A ^ 0x85 ^ 0x00 ^ 0x33 ^ 0x44));
        peer.chunks.push_back(reply);
        ASSERT_EQ(readShort(0x85, 4, data, 2), 2);
        stopLinkCapture();
    }
    std::string path;
};

TEST_F(LinkCaptureTest, TwoInterfacesCarryIpPacketsAndModuleFramesWithTheirDirection) {
    exchange();
    const Capture c = readCapture(path);
    EXPECT_TRUE(c.wellFormed);
    EXPECT_EQ(c.linkTypes, (std::vector<uint16_t>{101, 147, 148, 149}));
    ASSERT_EQ(c.packets.size(), 4u);
    EXPECT_EQ(c.packets[0].interfaceId, 0u);
    EXPECT_EQ(c.packets[0].data, peer.sentPackets.at(0));
    EXPECT_EQ(c.packets[0].flags, 2u);  // outbound
    EXPECT_EQ(c.packets[1].interfaceId, 0u);
    EXPECT_TRUE(checksumsVerify(c.packets[1].data));
    EXPECT_EQ(c.packets[1].flags, 1u);  // inbound
    EXPECT_EQ(c.packets[2].interfaceId, 1u);
    EXPECT_EQ(c.packets[2].data, (Bytes{0x85, 0xC1, 0x5A ^ 0x85 ^ 0xC1}));
    EXPECT_EQ(c.packets[3].interfaceId, 1u);
    EXPECT_EQ(c.packets[3].data.size(), 5u);
    EXPECT_EQ(c.packets[3].flags, 1u);
}

TEST_F(LinkCaptureTest, TsharkDecodesSnmpWithGoodChecksums) {
    if (std::system("which tshark > /dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
    exchange();
    const std::string command =
        "tshark -r '" + path + "' -o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -V 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string out;
    std::array<char, 4096> buffer;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
    EXPECT_NE(out.find("Simple Network Management Protocol"), std::string::npos) << out;
    EXPECT_NE(out.find("set-request"), std::string::npos) << out;
    EXPECT_NE(out.find("get-response"), std::string::npos) << out;
    EXPECT_NE(out.find("1.3.6.1.4.1.24680.1.1.1027.0"), std::string::npos) << out;
    EXPECT_NE(out.find("Checksum Status: Good"), std::string::npos) << out;
    EXPECT_EQ(out.find("Bad]"), std::string::npos) << out;
    EXPECT_EQ(out.find("incorrect"), std::string::npos) << out;
    EXPECT_EQ(out.find("Malformed"), std::string::npos) << out;
    EXPECT_NE(out.find("USER 0"), std::string::npos) << out;
}

TEST_F(LinkCaptureTest, UnwritableFileLeavesTheProgramRunningWithoutCapture) {
    setenv(kCaptureEnvironmentVariable, "/nonexistent-dir/x.pcapng", 1);
    startLinkCaptureFromEnvironment();
    unsetenv(kCaptureEnvironmentVariable);
    EXPECT_FALSE(linkCaptureActive());
    EXPECT_EQ(logged("Link capture to /nonexistent-dir/x.pcapng failed"), 1);
    peer.answerEveryRequestWith({0x85, 0x06});
    EXPECT_EQ(snmpWriteShort(0x85, 3, "\1\0", 2), 2);
}

}  // namespace
}  // namespace vz::test
