#include "link/snmp/datagram_link.h"

#include <array>
#include <cstring>

#include "link/bridge.h"
#include "link/snmp/ip_udp.h"
#include "link/link_capture.h"
#include "link/snmp/slip.h"
#include "link/usb_link.h"

namespace vz {

namespace {

constexpr size_t kReadChunk = 10240;
constexpr size_t kMaxPacket = kMaxDatagramPayload + kIpUdpHeaderSize;

// Fixed buffers: one exchange at a time runs under linkLock, and nothing is allocated per datagram.
std::array<uint8_t, kMaxPacket> packet;
std::array<uint8_t, 2 * kMaxPacket + 1> encoded;
std::array<uint8_t, kReadChunk> chunk;
SlipDecoder receiver;

}  // namespace

int sendDatagram(const uint8_t* payload, int length) {
    if (length < 0 || length > kMaxDatagramPayload) return -1;
    std::memcpy(packet.data() + kIpUdpHeaderSize, payload, static_cast<size_t>(length));
    fillIpUdpHeaders(packet.data(), length);
    const size_t packetSize = static_cast<size_t>(length) + kIpUdpHeaderSize;
    captureIpPacket(packet.data(), packetSize, CaptureDirection::Outbound);
    const size_t n = slipEncode(packet.data(), packetSize, encoded.data());
    if (bridge() == nullptr) return 0;
    uint32_t written = 0;
    // No reconnect from here: a lost request is a time-out one level up, which retries.
    bridge()->write(usbHandle, encoded.data(), static_cast<uint32_t>(n), written);
    return 0;
}

int receiveDatagram(DatagramHandler handler) {
    if (bridge() == nullptr) return -1;
    uint32_t received = 0;
    const uint8_t status =
        bridge()->read(usbHandle, chunk.data(), static_cast<uint32_t>(chunk.size()), received);
    // The bridge reports a read that ended before filling the whole chunk as timed out; the bytes
    // that did arrive are part of the stream all the same.
    if ((status != SI_SUCCESS && status != SI_READ_TIMED_OUT) || received == 0) return -1;
    if (received > chunk.size()) received = static_cast<uint32_t>(chunk.size());
    if (!receiver.feed(chunk.data(), received)) return -1;
    captureIpPacket(receiver.frame(), receiver.frameSize(), CaptureDirection::Inbound);
    if (receiver.frameSize() <= static_cast<size_t>(kIpUdpHeaderSize)) return 0;
    // The line has exactly one peer, so addresses and ports are not examined; the checksums are,
    // since nothing else would notice a corrupted byte in the carried frame.
    if (!receivedPacketIntact(receiver.frame(), receiver.frameSize())) return 0;
    const size_t ipHeader = static_cast<size_t>(receiver.frame()[0] & 0x0F) * 4;
    const uint8_t* udp = receiver.frame() + ipHeader;
    const size_t udpLength = static_cast<size_t>((udp[4] << 8) | udp[5]);
    return handler(udp + kUdpHeaderSize, static_cast<int>(udpLength - kUdpHeaderSize));
}

void resetDatagramReceiver() {
    receiver.reset();
}

}  // namespace vz
