#include "sim/udp_ip_packet.h"

#include <algorithm>

namespace vsim {
namespace {

constexpr size_t kIpHeader = 20;
constexpr size_t kUdpHeader = 8;

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void putBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// The UDP checksum's start value: the RFC 768 pseudo-header.
uint32_t pseudoHeaderSum(const uint8_t* source, const uint8_t* destination, uint16_t udpLength) {
    uint8_t pseudo[12];
    for (int i = 0; i < 4; ++i) {
        pseudo[i] = source[i];
        pseudo[4 + i] = destination[i];
    }
    pseudo[8] = 0;
    pseudo[9] = kProtocolUdp;
    putBe16(pseudo + 10, udpLength);
    return internetSum(pseudo, sizeof pseudo);
}

}  // namespace

uint16_t internetSum(const uint8_t* data, size_t length, uint32_t start) {
    uint32_t sum = start;
    for (size_t i = 0; i + 1 < length; i += 2) sum += be16(data + i);
    if (length % 2) sum += static_cast<uint32_t>(data[length - 1]) << 8;
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

std::optional<UdpDatagram> parseUdpPacket(const std::vector<uint8_t>& packet, std::string& why) {
    const uint8_t* p = packet.data();
    if (packet.size() < kIpHeader + kUdpHeader) {
        why = "shorter than the IP and UDP headers";
        return std::nullopt;
    }
    if ((p[0] >> 4) != 4) {
        why = "not IPv4";
        return std::nullopt;
    }
    const size_t headerLength = 4u * (p[0] & 0x0F);
    if (headerLength < kIpHeader || headerLength + kUdpHeader > packet.size()) {
        why = "bad IP header length";
        return std::nullopt;
    }
    if (be16(p + 2) != packet.size()) {
        why = "IP total length differs from the frame";
        return std::nullopt;
    }
    if (internetSum(p, headerLength) != 0xFFFF) {
        why = "bad IP header checksum";
        return std::nullopt;
    }
    if ((be16(p + 6) & 0x3FFF) != 0) {
        why = "fragment";  // the line carries whole datagrams only
        return std::nullopt;
    }
    if (p[9] != kProtocolUdp) {
        why = "not UDP";
        return std::nullopt;
    }
    const uint8_t* u = p + headerLength;
    const uint16_t udpLength = be16(u + 4);
    if (udpLength != packet.size() - headerLength) {
        why = "UDP length differs from the IP length";
        return std::nullopt;
    }
    if (be16(u + 6) != 0 && internetSum(u, udpLength, pseudoHeaderSum(p + 12, p + 16, udpLength)) != 0xFFFF) {
        why = "bad UDP checksum";
        return std::nullopt;
    }
    UdpDatagram d;
    for (int i = 0; i < 4; ++i) {
        d.source[i] = p[12 + i];
        d.destination[i] = p[16 + i];
    }
    d.ttl = p[8];
    d.sourcePort = be16(u);
    d.destinationPort = be16(u + 2);
    d.payload.assign(u + kUdpHeader, p + packet.size());
    return d;
}

std::vector<uint8_t> buildUdpPacket(const UdpDatagram& d) {
    const size_t total = kIpHeader + kUdpHeader + d.payload.size();
    std::vector<uint8_t> out(total, 0);
    uint8_t* p = out.data();
    p[0] = 0x45;
    putBe16(p + 2, static_cast<uint16_t>(total));
    p[8] = d.ttl;
    p[9] = kProtocolUdp;
    for (int i = 0; i < 4; ++i) {
        p[12 + i] = d.source[i];
        p[16 + i] = d.destination[i];
    }
    putBe16(p + 10, static_cast<uint16_t>(~internetSum(p, kIpHeader)));

    uint8_t* u = p + kIpHeader;
    const auto udpLength = static_cast<uint16_t>(kUdpHeader + d.payload.size());
    putBe16(u, d.sourcePort);
    putBe16(u + 2, d.destinationPort);
    putBe16(u + 4, udpLength);
    std::copy(d.payload.begin(), d.payload.end(), u + kUdpHeader);
    uint16_t check =
        static_cast<uint16_t>(~internetSum(u, udpLength, pseudoHeaderSum(p + 12, p + 16, udpLength)));
    if (check == 0) check = 0xFFFF;  // 0 would mean "no checksum"
    putBe16(u + 6, check);
    return out;
}

}  // namespace vsim
