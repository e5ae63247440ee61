#include "link/module_frame.h"

#include <cstring>

#include "link/module_access.h"

namespace vz {

uint8_t frameHeader(bool read, uint8_t functionCode, bool withAddress, int length) {
    return static_cast<uint8_t>((read ? 0x80 : 0) | ((functionCode & 7) << 4) | (withAddress ? kAddressFlag : 0) |
                                ((length / 2) & 7));
}

void putFrameAddress(uint8_t* p, uint32_t address) {
    p[0] = static_cast<uint8_t>(address);
    p[1] = static_cast<uint8_t>(address >> 8);
    p[2] = static_cast<uint8_t>((address >> 16) & 3);
}

bool validDataLength(int length) { return length >= 0 && length <= 8; }

int replyDataOffset(const uint8_t* reply) { return (reply[1] & kAddressFlag) ? 5 : 2; }

int evaluateRead(const ExchangeOutcome& out, const uint8_t* reply, void* destination, int length) {
    if (out.status == kStatusModuleError) {
        ++moduleReadErrors;
        return -2;
    }
    if (out.gaveUp) return -1;
    std::memcpy(destination, reply + replyDataOffset(reply), static_cast<size_t>(length));
    return length;
}

int evaluateWriteShort(const ExchangeOutcome& out, int length) {
    if (out.status == kStatusModuleError) {
        ++moduleWriteErrors;
        return -1;
    }
    return (out.status == kStatusDone && !out.gaveUp) ? length : -1;
}

int evaluateAddressedWrite(const ExchangeOutcome& out) {
    if (out.status == kStatusModuleError) {
        ++moduleWriteErrors;
        return -2;
    }
    if (out.status != kStatusDone) return -2;  // also when no reply arrived at all
    return out.gaveUp ? -1 : 0;
}

int takeResultWord(const uint8_t* reply, uint16_t* result, int resultLength) {
    if (resultLength == 2 && result) *result = static_cast<uint16_t>(reply[5] | (reply[6] << 8));
    return resultLength;
}

}  // namespace vz
