#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "link/snmp/ip_udp.h"

namespace vz {
namespace {

// A corrupted byte anywhere in a received packet must keep its frame from being used.
TEST(ReceivedPacketTest, ChecksumsGuardTheCarriedFrame) {
    std::array<uint8_t, 28 + 5> packet{};
    const uint8_t payload[5] = {0x30, 0x03, 0x02, 0x01, 0x01};
    std::memcpy(packet.data() + 28, payload, sizeof payload);
    fillIpUdpHeaders(packet.data(), sizeof payload);
    EXPECT_TRUE(receivedPacketIntact(packet.data(), packet.size()));

    for (size_t i = 0; i < packet.size(); ++i) {
        auto bad = packet;
        bad[i] ^= 0x10;
        EXPECT_FALSE(receivedPacketIntact(bad.data(), bad.size())) << "byte " << i;
    }
    auto noUdpChecksum = packet;
    noUdpChecksum[26] = noUdpChecksum[27] = 0;  // a sender may leave the UDP checksum out
    EXPECT_TRUE(receivedPacketIntact(noUdpChecksum.data(), noUdpChecksum.size()));
    noUdpChecksum[30] ^= 1;
    EXPECT_TRUE(receivedPacketIntact(noUdpChecksum.data(), noUdpChecksum.size()));  // nothing to tell
    EXPECT_FALSE(receivedPacketIntact(packet.data(), 27));  // shorter than the headers
    EXPECT_FALSE(receivedPacketIntact(packet.data(), 30));  // UDP length beyond the frame
}

}  // namespace
}  // namespace vz
