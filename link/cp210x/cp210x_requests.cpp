#include "link/cp210x/cp210x_requests.h"

namespace vz::cp210x {

namespace {

void putLe32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getLe32(std::span<const uint8_t> in, std::size_t offset) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(in[offset + i]) << (8 * i);
    return value;
}

}  // namespace

std::array<uint8_t, 4> encodeBaudRate(uint32_t baud) {
    std::array<uint8_t, 4> bytes{};
    putLe32(bytes.data(), baud);
    return bytes;
}

bool lineControlValid(uint16_t lineControl) {
    const unsigned dataBits = lineControl >> 8;
    const unsigned parity = (lineControl >> 4) & 0x0F;
    const unsigned stopBits = lineControl & 0x0F;
    return dataBits >= 5 && dataBits <= 8 && parity <= 4 && stopBits <= 2;
}

bool flowSettingsValid(const FlowSettings& flow) {
    return flow.ctsMode <= 1 && flow.rtsMode <= 3 && flow.dtrMode <= 2 && flow.dsrMode <= 1 &&
           flow.dcdMode <= 1;
}

std::array<uint8_t, kFlowSize> encodeFlow(const FlowSettings& flow) {
    uint32_t handshake = flow.dtrMode & kFlowDtrMask;
    if (flow.ctsMode == 1) handshake |= kFlowCtsHandshake;
    if (flow.dsrMode == 1) handshake |= kFlowDsrHandshake;
    if (flow.dcdMode == 1) handshake |= kFlowDcdHandshake;
    uint32_t replace = static_cast<uint32_t>(flow.rtsMode & 0x03) << kFlowRtsShift;
    if (flow.xonXoff) replace |= kFlowAutoTransmit | kFlowAutoReceive;

    std::array<uint8_t, kFlowSize> bytes{};
    putLe32(bytes.data(), handshake);
    putLe32(bytes.data() + 4, replace);
    putLe32(bytes.data() + 8, kXonLimit);
    putLe32(bytes.data() + 12, kXoffLimit);
    return bytes;
}

uint16_t mhsWord(const FlowSettings& flow) {
    uint16_t word = 0;
    if (flow.dtrMode <= 1) word |= kMhsWriteDtr | (flow.dtrMode == 1 ? kMhsDtr : 0);
    if (flow.rtsMode <= 1) word |= kMhsWriteRts | (flow.rtsMode == 1 ? kMhsRts : 0);
    return word;
}

uint16_t purgeWord(bool transmit, bool receive) {
    return static_cast<uint16_t>((transmit ? kPurgeTransmit : 0) | (receive ? kPurgeReceive : 0));
}

bool decodeCommStatus(std::span<const uint8_t> reply, CommStatus& status) {
    if (reply.size() < kCommStatusSize) return false;
    status.errors = getLe32(reply, 0);
    status.holdReasons = getLe32(reply, 4);
    status.bytesInReceiveQueue = getLe32(reply, 8);
    status.bytesInTransmitQueue = getLe32(reply, 12);
    return true;
}

}  // namespace vz::cp210x
