// The receive side of the SNMP line as the datagram link drives it: each serial read fed to the SLIP
// decoder (a completed frame ends the read, the bytes after its END are dropped), then the frame
// through the IPv4/UDP checks and the SNMP response parser.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "link/snmp/ip_udp.h"
#include "link/snmp/slip.h"
#include "link/snmp/snmp_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vz;
    if (size < 1) return 0;
    const size_t piece = 1 + data[0] % 64;  // how the serial reads cut the stream
    SlipDecoder decoder;
    resetSnmpClient();
    for (size_t at = 1; at < size; at += piece) {
        if (!decoder.feed(data + at, std::min(piece, size - at))) continue;
        const uint8_t* frame = decoder.frame();
        const size_t frameSize = decoder.frameSize();
        if (frameSize > static_cast<size_t>(kIpUdpHeaderSize) && receivedPacketIntact(frame, frameSize))
            parseResponse(frame + kIpUdpHeaderSize, static_cast<int>(frameSize) - kIpUdpHeaderSize);
    }
    return 0;
}
