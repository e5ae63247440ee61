#include "link/snmp_operations.h"

#include <cstring>
#include <mutex>

#include "app/core/debug_log.h"
#include "link/comm_problem.h"
#include "link/module_access.h"
#include "link/snmp_client.h"

namespace vz {

namespace {

constexpr int kFrameSize = 16;
constexpr int kNoStatus = -1;
constexpr int kStatusDone = 6;
constexpr int kStatusModuleError = 7;
constexpr int kAddressFlag = 0x08;

uint8_t header(bool read, uint8_t functionCode, bool withAddress, int length) {
    return static_cast<uint8_t>((read ? 0x80 : 0) | ((functionCode & 7) << 4) |
                                (withAddress ? kAddressFlag : 0) | ((length / 2) & 7));
}

void putAddress(uint8_t* p, uint32_t address) {
    p[0] = static_cast<uint8_t>(address);
    p[1] = static_cast<uint8_t>(address >> 8);
    p[2] = static_cast<uint8_t>((address >> 16) & 3);  // 18-bit addresses
}

bool validLength(int length) {
    return length >= 0 && length <= 8;
}

// Where a read's data start in its reply: after the status, or after three address bytes when the
// status says they follow.
int dataOffset(const uint8_t* reply) {
    return (reply[1] & kAddressFlag) ? 5 : 2;
}

struct Transaction {
    const uint8_t* request;
    int requestLength;
    uint8_t* reply;
    int expectedLength;
    bool isRead;
    int dataLength;  // reads: the data bytes that must follow the status (and address)
};

struct Outcome {
    bool gaveUp = false;
    int status = kNoStatus;  // of the last reply received
};

bool goodReply(const Transaction& t, int result, int replyLength) {
    if (result != 0 || replyLength != t.expectedLength) return false;
    // A read reply whose status announces address bytes must still hold all its data; otherwise it
    // is as corrupt as a short one, and copying would take bytes that never arrived.
    return !t.isRead || dataOffset(t.reply) + t.dataLength <= replyLength;
}

Outcome run(const Transaction& t) {
    Outcome out;
    {
        std::lock_guard lock(linkLock);
        for (;;) {
            int replyLength = 0;
            const int result =
                snmpTransact(t.request, t.requestLength, t.reply, t.expectedLength, &replyLength);
            if (result != 0) debugLog(kLogWarning, "SNMP status %d", result);
            if (replyLength != t.expectedLength)
                debugLog(kLogError, "Expected %d bytes, got %d bytes", t.expectedLength, replyLength);
            // A reply was copied only when it fit.
            if (result == 0 && replyLength >= 2 && replyLength <= t.expectedLength)
                out.status = t.reply[1] & 7;
            if (goodReply(t, result, replyLength)) break;
            ++(t.isRead ? commProblem.readRetries : commProblem.writeRetries);
            if (commProblemCheck()) {
                out.gaveUp = true;
                break;
            }
        }
    }
    commProblemClose();
    return out;
}

int evaluateRead(const Outcome& out, const uint8_t* reply, void* destination, int length) {
    if (out.status == kStatusModuleError) {
        ++moduleReadErrors;
        return -2;
    }
    if (out.gaveUp) return -1;
    std::memcpy(destination, reply + dataOffset(reply), static_cast<size_t>(length));
    return length;
}

// writeAddr and writeReply: 0 when done, otherwise their result.
int evaluateAddressedWrite(const Outcome& out) {
    if (out.status == kStatusModuleError) {
        ++moduleWriteErrors;
        return -2;
    }
    if (out.status != kStatusDone) return -2;  // also when no reply arrived at all
    return out.gaveUp ? -1 : 0;
}

int writeWithAddress(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                     uint8_t* reply, int expectedLength) {
    uint8_t request[kFrameSize];
    request[0] = module;
    request[1] = header(false, functionCode, true, length);
    putAddress(request + 2, address);
    if (length > 0) std::memcpy(request + 5, data, static_cast<size_t>(length));
    return evaluateAddressedWrite(run({request, length + 5, reply, expectedLength, false, 0}));
}

}  // namespace

int snmpReadShort(uint8_t module, uint8_t functionCode, void* destination, int length) {
    if (!validLength(length)) return -1;
    uint8_t request[2], reply[kFrameSize];
    request[0] = module;
    request[1] = header(true, functionCode, false, length);
    const Outcome out = run({request, 2, reply, length + 2, true, length});
    return evaluateRead(out, reply, destination, length);
}

int snmpReadAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length) {
    if (!validLength(length)) return -1;
    uint8_t request[5], reply[kFrameSize];
    request[0] = module;
    request[1] = header(true, functionCode, true, length);
    putAddress(request + 2, address);
    const Outcome out = run({request, 5, reply, length + 5, true, length});
    return evaluateRead(out, reply, destination, length);
}

int snmpWriteShort(uint8_t module, uint8_t functionCode, const void* data, int length) {
    if (!validLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    request[0] = module;
    request[1] = header(false, functionCode, false, length);
    if (length > 0) std::memcpy(request + 2, data, static_cast<size_t>(length));
    const Outcome out = run({request, length + 2, reply, 2, false, 0});
    if (out.status == kStatusModuleError) {
        ++moduleWriteErrors;
        return -1;
    }
    return (out.status == kStatusDone && !out.gaveUp) ? length : -1;
}

int snmpWriteAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length) {
    if (!validLength(length)) return -1;
    uint8_t reply[kFrameSize];
    const int r = writeWithAddress(module, functionCode, address, data, length, reply, 5);
    return r < 0 ? r : length;
}

int snmpWriteReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                   uint16_t* result, int resultLength) {
    if (!validLength(length)) return -1;
    uint8_t reply[kFrameSize];
    const int r = writeWithAddress(module, functionCode, address, data, length, reply, 7);
    if (r < 0) return r;
    if (resultLength == 2 && result) *result = static_cast<uint16_t>(reply[5] | (reply[6] << 8));
    return resultLength;
}

void bindSnmpVariants() {
    operationTable = {snmpReadShort, snmpReadAddr, snmpWriteShort, snmpWriteAddr, snmpWriteReply};
}

}  // namespace vz
