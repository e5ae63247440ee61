#pragma once
// One crate's datagram buffers: fixed, since one exchange at a time runs under the crate's linkLock
// and nothing is allocated per datagram; the SLIP decoder keeps a frame that arrived in pieces.
#include <array>
#include <cstddef>
#include <cstdint>

#include "link/snmp/datagram_link.h"
#include "link/snmp/ip_udp.h"
#include "link/snmp/slip.h"

namespace vz {

struct DatagramBuffers {
    static constexpr size_t kReadChunk = 10240;
    static constexpr size_t kMaxPacket = kMaxDatagramPayload + kIpUdpHeaderSize;

    std::array<uint8_t, kMaxPacket> packet{};
    std::array<uint8_t, 2 * kMaxPacket + 1> encoded{};
    std::array<uint8_t, kReadChunk> chunk{};
    SlipDecoder receiver;
};

}  // namespace vz
