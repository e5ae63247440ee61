#include "link/module_frame.h"

#include <cstring>

#include "link/link_state.h"
#include "link/module_access.h"

namespace vz {

uint8_t frameHeader(bool read, uint8_t functionCode, bool withAddress, int length) {
    return static_cast<uint8_t>((read ? 0x80 : 0) | ((functionCode & 7) << 4) |
                                (withAddress ? kAddressFlag : 0) | ((length / 2) & 7));
}

void putFrameAddress(uint8_t* p, uint32_t address) {
    p[0] = static_cast<uint8_t>(address);
    p[1] = static_cast<uint8_t>(address >> 8);
    p[2] = static_cast<uint8_t>((address >> 16) & 3);
}

bool validDataLength(int length) {
    return length >= 0 && length <= 8;
}

int replyDataOffset(const uint8_t* reply) {
    return (reply[1] & kAddressFlag) ? 5 : 2;
}

int buildRequest(uint8_t* frame, uint8_t module, bool read, uint8_t functionCode, const uint32_t* address,
                 const void* data, int length, FrameCheck check) {
    int n = 0;
    frame[n++] = module;
    frame[n++] = frameHeader(read, functionCode, address != nullptr, length);
    if (address) {
        putFrameAddress(frame + n, *address);
        n += 3;
    }
    if (!read && length > 0) {
        std::memcpy(frame + n, data, static_cast<size_t>(length));
        n += length;
    }
    if (check == FrameCheck::checkByte) {
        frame[n] = checkByte(frame, n);
        ++n;
    }
    return n;
}

bool replyHoldsData(const uint8_t* reply, int replyLength, int expectedLength, bool isRead, int dataLength,
                    FrameCheck check) {
    if (replyLength != expectedLength) return false;
    const int checkBytes = check == FrameCheck::checkByte ? 1 : 0;
    if (checkBytes && checkByte(reply, replyLength) != 0) return false;
    return !isRead || replyDataOffset(reply) + dataLength + checkBytes <= replyLength;
}

int evaluateRead(const ExchangeOutcome& out, const uint8_t* reply, void* destination, int length) {
    if (out.status == kStatusModuleError) {
        ++linkState().moduleReadErrors;
        return -2;
    }
    if (out.gaveUp) return -1;
    std::memcpy(destination, reply + replyDataOffset(reply), static_cast<size_t>(length));
    return length;
}

int evaluateWriteShort(const ExchangeOutcome& out, int length) {
    if (out.status == kStatusModuleError) {
        ++linkState().moduleWriteErrors;
        return -1;
    }
    return (out.status == kStatusDone && !out.gaveUp) ? length : -1;
}

int evaluateAddressedWrite(const ExchangeOutcome& out) {
    if (out.status == kStatusModuleError) {
        ++linkState().moduleWriteErrors;
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
