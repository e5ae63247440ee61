#include "link/snmp/datagram_link.h"

#include <cstring>

#include "link/bridge.h"
#include "link/link_capture.h"
#include "link/link_state.h"
#include "link/snmp/ip_udp.h"
#include "link/snmp/slip.h"
#include "link/usb_link.h"

namespace vz {

int sendDatagram(const uint8_t* payload, int length) {
    if (length < 0 || length > kMaxDatagramPayload) return -1;
    DatagramBuffers& b = linkState().datagram;
    std::memcpy(b.packet.data() + kIpUdpHeaderSize, payload, static_cast<size_t>(length));
    fillIpUdpHeaders(b.packet.data(), length);
    const size_t packetSize = static_cast<size_t>(length) + kIpUdpHeaderSize;
    captureIpPacket(b.packet.data(), packetSize, CaptureDirection::Outbound);
    const size_t n = slipEncode(b.packet.data(), packetSize, b.encoded.data());
    if (bridge() == nullptr) return 0;
    uint32_t written = 0;
    // No reconnect from here: a lost request is a time-out one level up, which retries.
    bridge()->write(linkState().usbHandle, b.encoded.data(), static_cast<uint32_t>(n), written);
    return 0;
}

int receiveDatagram(DatagramHandler handler) {
    if (bridge() == nullptr) return -1;
    DatagramBuffers& b = linkState().datagram;
    uint32_t received = 0;
    const uint8_t status = bridge()->read(linkState().usbHandle, b.chunk.data(),
                                          static_cast<uint32_t>(b.chunk.size()), received);
    // The bridge reports a read that ended before filling the whole chunk as timed out; the bytes
    // that did arrive are part of the stream all the same.
    if ((status != SI_SUCCESS && status != SI_READ_TIMED_OUT) || received == 0) return -1;
    if (received > b.chunk.size()) received = static_cast<uint32_t>(b.chunk.size());
    if (!b.receiver.feed(b.chunk.data(), received)) return -1;
    captureIpPacket(b.receiver.frame(), b.receiver.frameSize(), CaptureDirection::Inbound);
    if (b.receiver.frameSize() <= static_cast<size_t>(kIpUdpHeaderSize)) return 0;
    // The line has exactly one peer, so addresses and ports are not examined; the checksums are,
    // since nothing else would notice a corrupted byte in the carried frame.
    if (!receivedPacketIntact(b.receiver.frame(), b.receiver.frameSize())) return 0;
    const size_t ipHeader = static_cast<size_t>(b.receiver.frame()[0] & 0x0F) * 4;
    const uint8_t* udp = b.receiver.frame() + ipHeader;
    const size_t udpLength = static_cast<size_t>((udp[4] << 8) | udp[5]);
    return handler(udp + kUdpHeaderSize, static_cast<int>(udpLength - kUdpHeaderSize));
}

void resetDatagramReceiver() {
    linkState().datagram.receiver.reset();
}

}  // namespace vz
