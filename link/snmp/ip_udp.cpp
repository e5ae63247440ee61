#include "link/snmp/ip_udp.h"

namespace vz {

namespace {

constexpr uint8_t kProtocolUdp = 17;
constexpr uint8_t kTimeToLive = 0x80;

void put16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

}  // namespace

uint16_t internetChecksum(const uint8_t* bytes, size_t length, uint32_t initial) {
    uint64_t sum = initial;
    size_t i = 0;
    for (; i + 1 < length; i += 2) sum += static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (i < length) sum += static_cast<uint32_t>(bytes[i] << 8);
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

void fillIpUdpHeaders(uint8_t* packet, int payloadLength) {
    const auto udpLength = static_cast<uint32_t>(payloadLength + kUdpHeaderSize);
    uint8_t* ip = packet;
    ip[0] = 0x45;  // version 4, five header words
    ip[1] = 0;
    put16(ip + 2, static_cast<uint32_t>(payloadLength + kIpUdpHeaderSize));
    put16(ip + 4, 0);  // identification
    put16(ip + 6, 0);  // never fragmented
    ip[8] = kTimeToLive;
    ip[9] = kProtocolUdp;
    put16(ip + 10, 0);
    for (int i = 12; i < 20; ++i) ip[i] = 0;  // 0.0.0.0 to 0.0.0.0: the line has one peer
    put16(ip + 10, static_cast<uint16_t>(~internetChecksum(ip, kIpHeaderSize)));

    uint8_t* udp = packet + kIpHeaderSize;
    put16(udp, kUdpSourcePort);
    put16(udp + 2, kSnmpAgentPort);
    put16(udp + 4, udpLength);
    put16(udp + 6, 0);
    // RFC 768 pseudo-header: source, destination, zero, protocol, UDP length.
    const uint8_t pseudo[12] = {ip[12],
                                ip[13],
                                ip[14],
                                ip[15],
                                ip[16],
                                ip[17],
                                ip[18],
                                ip[19],
                                0,
                                kProtocolUdp,
                                static_cast<uint8_t>(udpLength >> 8),
                                static_cast<uint8_t>(udpLength)};
    uint16_t checksum =
        static_cast<uint16_t>(~internetChecksum(udp, udpLength, internetChecksum(pseudo, sizeof pseudo)));
    // 0 in the field means "no checksum"; a computed 0 is sent as its other one's-complement form.
    if (checksum == 0) checksum = 0xFFFF;
    put16(udp + 6, checksum);
}

bool receivedPacketIntact(const uint8_t* packet, size_t size) {
    if (size < static_cast<size_t>(kIpUdpHeaderSize) || (packet[0] & 0xF0) != 0x40) return false;
    const size_t ipHeader = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (ipHeader < static_cast<size_t>(kIpHeaderSize) || size < ipHeader + kUdpHeaderSize) return false;
    if (internetChecksum(packet, ipHeader) != 0xFFFF) return false;
    const uint8_t* udp = packet + ipHeader;
    const size_t udpLength = static_cast<size_t>((udp[4] << 8) | udp[5]);
    if (udpLength < static_cast<size_t>(kUdpHeaderSize) || ipHeader + udpLength > size) return false;
    if (udp[6] == 0 && udp[7] == 0) return true;
    // Pseudo-header: source, destination, zero, protocol, UDP length.
    uint32_t sum = internetChecksum(packet + 12, 8);
    sum += packet[9];
    sum += static_cast<uint32_t>(udpLength);
    return internetChecksum(udp, udpLength, sum) == 0xFFFF;
}

}  // namespace vz
