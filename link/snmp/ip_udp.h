#pragma once
// IPv4 and UDP headers for the SNMP datagrams to the crate controller: a point-to-point serial line
// with one peer, so addresses are 0.0.0.0 and nothing is routed or fragmented.
#include <cstddef>
#include <cstdint>

namespace vz {

constexpr int kIpHeaderSize = 20;
constexpr int kUdpHeaderSize = 8;
constexpr int kIpUdpHeaderSize = kIpHeaderSize + kUdpHeaderSize;
constexpr uint16_t kUdpSourcePort = 1024;
constexpr uint16_t kSnmpAgentPort = 161;

// RFC 1071 one's-complement sum of the bytes read as big-endian 16-bit words (a trailing odd byte is
// the high half of a last word), folded to 16 bits and not complemented. `initial` continues an
// earlier sum over an even number of bytes.
uint16_t internetChecksum(const uint8_t* bytes, size_t length, uint32_t initial = 0);

// Fills the 28 header bytes of `packet` in front of the payloadLength bytes already at packet + 28,
// checksums included; the packet is payloadLength + 28 bytes long.
void fillIpUdpHeaders(uint8_t* packet, int payloadLength);

// True when a received packet carries a valid IP header checksum, a UDP length that fits, and a valid
// UDP checksum (0 means none was computed). A frame carried in SNMP has no check byte of its own, so
// this is what keeps a byte corrupted on the serial line from being taken as module data.
bool receivedPacketIntact(const uint8_t* packet, size_t size);

}  // namespace vz
