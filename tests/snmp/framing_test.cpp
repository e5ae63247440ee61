// SLIP, IPv4 and UDP framing of the datagrams on the serial line.
#include <gtest/gtest.h>

#include "link/snmp/datagram_link.h"
#include "link/snmp/ip_udp.h"
#include "link/snmp/slip.h"
#include "tests/snmp/snmp_fixture.h"

namespace vz::test {
namespace {

TEST(InternetChecksum, SumsBigEndianWordsFoldsAndContinues) {
    // The RFC 1071 example: 0001 + F203 + F4F5 + F6F7 = 2DDF0, folded DDF2.
    const uint8_t rfc[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(internetChecksum(rfc, sizeof rfc), 0xDDF2);
    // A trailing odd byte is the high half of a last word.
    const uint8_t odd[] = {0x12, 0x34, 0xAB};
    EXPECT_EQ(internetChecksum(odd, sizeof odd), 0x1234 + 0xAB00);
    // A sum over two even parts equals the sum over the whole.
    EXPECT_EQ(internetChecksum(rfc + 4, 4, internetChecksum(rfc, 4)), 0xDDF2);
    EXPECT_EQ(internetChecksum(rfc, 0), 0);
}

TEST(SlipEncoding, EscapesEndAndEscAndClosesWithOneEnd) {
    const struct {
        Bytes in, out;
    } cases[] = {
        {{0xC0}, {0xDB, 0xDC, 0xC0}},
        {{0xDB}, {0xDB, 0xDD, 0xC0}},
        {{0x01, 0xC0, 0xDB, 0x02}, {0x01, 0xDB, 0xDC, 0xDB, 0xDD, 0x02, 0xC0}},
        {{}, {0xC0}},
    };
    for (const auto& c : cases) {
        Bytes out(2 * c.in.size() + 1);
        out.resize(slipEncode(c.in.data(), c.in.size(), out.data()));
        EXPECT_EQ(out, c.out);
    }
}

class DatagramTest : public SnmpFixture {};

TEST_F(DatagramTest, ThreeBytePayloadMakesA31BytePacketWithValidChecksums) {
    const uint8_t payload[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(sendDatagram(payload, 3), 0);
    ASSERT_EQ(peer.writes.size(), 1u);
    const Bytes& wire = peer.writes[0];
    EXPECT_NE(wire.front(), 0xC0);  // no END in front
    EXPECT_EQ(wire.back(), 0xC0);
    ASSERT_EQ(peer.sentPackets.size(), 1u);
    const Bytes& p = peer.sentPackets[0];
    ASSERT_EQ(p.size(), 31u);
    const Bytes header(p.begin(), p.begin() + 28);
    // 45 00 | total 001F | id 0 | flags 0 | TTL 80 | UDP | checksum | 0.0.0.0 | 0.0.0.0
    EXPECT_EQ(Bytes(header.begin(), header.begin() + 10),
              (Bytes{0x45, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x80, 0x11}));
    EXPECT_EQ(Bytes(header.begin() + 12, header.begin() + 20), Bytes(8, 0));
    // ports 1024 -> 161, UDP length 000B
    EXPECT_EQ(Bytes(header.begin() + 20, header.begin() + 26), (Bytes{0x04, 0x00, 0x00, 0xA1, 0x00, 0x0B}));
    EXPECT_EQ(Bytes(p.begin() + 28, p.end()), (Bytes{1, 2, 3}));
    EXPECT_TRUE(checksumsVerify(p));
    // Nothing in this packet needs escaping, so the frame is the packet plus one END.
    EXPECT_EQ(wire.size(), 32u);
}

TEST_F(DatagramTest, EscapedPayloadBytesGrowTheFrameByOneEach) {
    const uint8_t plain[] = {0x11, 0x22, 0x33, 0x44};
    const uint8_t special[] = {0xC0, 0x22, 0x33, 0xDB};  // same length, two bytes to escape
    sendDatagram(plain, 4);
    sendDatagram(special, 4);
    ASSERT_EQ(peer.sentPackets.size(), 2u);
    auto escapes = [](const Bytes& packet) {
        return std::count(packet.begin(), packet.end(), 0xC0) +
               std::count(packet.begin(), packet.end(), 0xDB);
    };
    EXPECT_EQ(static_cast<long>(peer.writes[1].size() - peer.writes[0].size()),
              escapes(peer.sentPackets[1]) - escapes(peer.sentPackets[0]));
    EXPECT_EQ(Bytes(peer.sentPackets[1].begin() + 28, peer.sentPackets[1].end()),
              Bytes(special, special + 4));
    EXPECT_TRUE(checksumsVerify(peer.sentPackets[1]));
}

TEST_F(DatagramTest, UdpChecksumThatComplementsToZeroIsSentAsFFFF) {
    // Pseudo-header and UDP header of a 2-byte payload sum to 04C6; the payload word FB39 completes
    // the sum to FFFF, whose complement is 0.
    const uint8_t payload[] = {0xFB, 0x39};
    sendDatagram(payload, 2);
    const Bytes& p = peer.sentPackets.at(0);
    EXPECT_EQ(p[26], 0xFF);
    EXPECT_EQ(p[27], 0xFF);
    EXPECT_TRUE(checksumsVerify(p));
}

TEST_F(DatagramTest, OversizedPayloadIsNotSent) {
    Bytes big(kMaxDatagramPayload + 1, 0x55);
    EXPECT_EQ(sendDatagram(big.data(), static_cast<int>(big.size())), -1);
    EXPECT_TRUE(peer.writes.empty());
}

// Frames handed up by receiveDatagram.
std::vector<Bytes> handed;
int takePayload(const uint8_t* payload, int length) {
    handed.emplace_back(payload, payload + length);
    return 1;
}

class SlipReceiveTest : public SnmpFixture {
  protected:
    void SetUp() override {
        SnmpFixture::SetUp();
        handed.clear();
    }
    int receive() { return receiveDatagram(takePayload); }
    // A packet with valid headers: the receiver checks them before it hands the payload on.
    static Bytes packetWith(const Bytes& payload) {
        Bytes p(28, 0);
        p.insert(p.end(), payload.begin(), payload.end());
        fillIpUdpHeaders(p.data(), static_cast<int>(payload.size()));
        return p;
    }
};

TEST_F(SlipReceiveTest, LeadingEndsAreIgnoredAndOnlyTheFirstFrameOfAChunkCounts) {
    Bytes chunk{0xC0, 0xC0};
    for (uint8_t b : slipEncodeFrame(packetWith({0x01, 0xC0, 0xDB}))) chunk.push_back(b);
    for (uint8_t b : slipEncodeFrame(packetWith({0x02}))) chunk.push_back(b);  // lost
    peer.chunks.push_back(chunk);
    EXPECT_EQ(receive(), 1);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], (Bytes{0x01, 0xC0, 0xDB}));
    EXPECT_EQ(receive(), -1);  // the second frame went with the rest of its chunk
    EXPECT_EQ(handed.size(), 1u);
}

TEST_F(SlipReceiveTest, StateCarriesAcrossReadsIncludingAnEscapeAtAChunkEnd) {
    Bytes wire = slipEncodeFrame(packetWith({0x07, 0xC0, 0x08}));
    const auto esc = std::find(wire.begin() + 28, wire.end(), 0xDB);
    ASSERT_NE(esc, wire.end());
    peer.chunks.emplace_back(wire.begin(), esc + 1);  // ends with ESC
    peer.chunks.emplace_back(esc + 1, wire.end());    // starts with ESC_END
    EXPECT_EQ(receive(), -1);
    EXPECT_EQ(receive(), 1);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], (Bytes{0x07, 0xC0, 0x08}));
}

TEST_F(SlipReceiveTest, MalformedEscapeKeepsTheByte) {
    Bytes wire = slipEncodeFrame(packetWith({0x41, 0xC0}));
    wire.resize(wire.size() - 4);  // drop the payload's encoding (41 DB DC) and the END
    wire.insert(wire.end(), {0xDB, 0x41, 0xDB, 0xC0, 0xC0});  // ESC 'A', ESC END, END
    peer.chunks.push_back(wire);
    EXPECT_EQ(receive(), 1);
    EXPECT_EQ(handed.at(0), (Bytes{0x41, 0xC0}));
}

TEST_F(SlipReceiveTest, LongFrameIsCutAt2047Bytes) {
    Bytes payload(3000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i % 97);
    peer.chunks.push_back(slipEncodeFrame(packetWith(payload)));
    // The frame is cut at 2047 bytes; what is left of the datagram is shorter than its UDP length
    // says, so it is dropped instead of being handed on truncated.
    EXPECT_EQ(receive(), 0);
    EXPECT_TRUE(handed.empty());
    // The next frame starts clean.
    peer.chunks.push_back(slipEncodeFrame(packetWith({0x09})));
    EXPECT_EQ(receive(), 1);
    EXPECT_EQ(handed.at(0), Bytes{0x09});
}

TEST_F(SlipReceiveTest, FrameWithoutPayloadAndFailedReads) {
    peer.chunks.push_back(slipEncodeFrame(Bytes(28, 0x45)));
    EXPECT_EQ(receive(), 0);   // completed but carries nothing
    EXPECT_EQ(receive(), -1);  // nothing arrived
    peer.failReadsWith = SI_READ_ERROR;
    peer.chunks.push_back(slipEncodeFrame(packetWith({0x01})));
    EXPECT_EQ(receive(), -1);
    EXPECT_TRUE(handed.empty());
}

}  // namespace
}  // namespace vz::test
