#pragma once
// IPv4 packets carrying one UDP datagram, as they travel over the SLIP line: header checks on the
// way in, headers and checksums on the way out.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vsim {

inline constexpr uint8_t kProtocolUdp = 17;

// RFC 1071 sum of the bytes as big-endian 16-bit words, folded to 16 bits; not complemented.
uint16_t internetSum(const uint8_t* data, size_t length, uint32_t start = 0);

struct UdpDatagram {
    std::array<uint8_t, 4> source{};
    std::array<uint8_t, 4> destination{};
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    uint8_t ttl = 64;
    std::vector<uint8_t> payload;
};

// Checks version, header length, total length, fragmenting, protocol, UDP length and both
// checksums (a UDP checksum of 0 means the sender did not compute one). On failure `why` says
// which test failed.
std::optional<UdpDatagram> parseUdpPacket(const std::vector<uint8_t>& packet, std::string& why);

// A 20-byte IPv4 header without options, the UDP header and the payload, both checksums set.
std::vector<uint8_t> buildUdpPacket(const UdpDatagram& d);

}  // namespace vsim
