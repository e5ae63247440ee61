#include "link/module_access.h"

#include <algorithm>

#include "link/bridge.h"
#include "link/comm_problem.h"
#include "link/exchange_engine.h"
#include "link/link_capture.h"
#include "link/link_state.h"
#include "link/module_frame.h"
#include "link/usb_link.h"

namespace vz {

namespace {

// Per thread: a probe on one thread leaves the retries of another (polling) as they are.
thread_local int singleAttempts = 0;

struct Exchange {
    const uint8_t* request;
    int requestSize;
    uint8_t* reply;
    int replySize;
    bool isRead;
    bool sendOnceFirst;  // readAddr: send before the loop and after each failure, checking the count
    int dataLength;      // reads: the data bytes expected in the reply
};

// Exactly the expected size, a valid check byte, and for reads room for the data after the address
// bytes that bit 3 of the status announces (otherwise the copy would take bytes that never arrived).
bool goodReply(const Exchange& x, uint32_t received) {
    return received <= static_cast<uint32_t>(x.replySize) &&
           replyHoldsData(x.reply, static_cast<int>(received), x.replySize, x.isRead, x.dataLength,
                          FrameCheck::checkByte);
}

bool sendRequest(const Exchange& x) {
    uint32_t written = 0;
    usbWrite(x.request, static_cast<uint32_t>(x.requestSize), written);
    if (written > 0)
        captureModuleFrame(x.request, std::min<size_t>(written, static_cast<size_t>(x.requestSize)),
                           CaptureDirection::Outbound);
    return written == static_cast<uint32_t>(x.requestSize);
}

// The direct protocol's attempts: readAddr sends its request once before the loop and again after
// each failure; the other operations send it at every attempt.
template <typename FinishFn>
int exchange(const Exchange& x, FinishFn finish) {
    bool first = true;
    return runExchange(
        x.request[0], x.isRead,
        [&](ExchangeOutcome& out) {
            if (!x.sendOnceFirst) {
                sendRequest(x);
            } else if (first && !sendRequest(x)) {
                return Attempt::GiveUp;
            }
            first = false;
            uint32_t received = 0;
            usbRead(x.reply, static_cast<uint32_t>(x.replySize), received);
            if (received > 0)
                captureModuleFrame(x.reply, std::min<size_t>(received, static_cast<size_t>(x.replySize)),
                                   CaptureDirection::Inbound);
            if (received >= 2) out.status = x.reply[1] & 7;
            if (goodReply(x, received)) return Attempt::Good;
            if (singleAttempts == 0) return Attempt::Retry;
            bridge()->flushBuffers(linkState().usbHandle, true,
                                   true);  // a late reply must not meet the next request
            return Attempt::GiveUp;
        },
        [] { bridge()->flushBuffers(linkState().usbHandle, true, true); },
        [&] { return !x.sendOnceFirst || sendRequest(x); }, finish);
}

}  // namespace

SingleAttemptScope::SingleAttemptScope() {
    ++singleAttempts;
}
SingleAttemptScope::~SingleAttemptScope() {
    --singleAttempts;
}

uint8_t checkByte(const uint8_t* bytes, int length) {
    uint8_t c = 0x5A;
    for (int i = 0; i < length; ++i) c ^= bytes[i];
    return c;
}

int directReadShort(uint8_t module, uint8_t functionCode, void* destination, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    const int size =
        buildRequest(request, module, true, functionCode, nullptr, nullptr, length, FrameCheck::checkByte);
    return exchange({request, size, reply, length + 3, true, false, length}, [&](const ExchangeOutcome& out) {
        return evaluateRead(out, reply, destination, length);
    });
}

int directReadAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    const int size =
        buildRequest(request, module, true, functionCode, &address, nullptr, length, FrameCheck::checkByte);
    return exchange({request, size, reply, length + 6, true, true, length}, [&](const ExchangeOutcome& out) {
        return evaluateRead(out, reply, destination, length);
    });
}

int directWriteShort(uint8_t module, uint8_t functionCode, const void* data, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    const int size =
        buildRequest(request, module, false, functionCode, nullptr, data, length, FrameCheck::checkByte);
    return exchange({request, size, reply, 3, false, false, 0},
                    [&](const ExchangeOutcome& out) { return evaluateWriteShort(out, length); });
}

namespace {
int writeWithAddress(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                     uint8_t* reply, int replySize) {
    uint8_t request[kFrameSize];
    const int size =
        buildRequest(request, module, false, functionCode, &address, data, length, FrameCheck::checkByte);
    return exchange({request, size, reply, replySize, false, false, 0},
                    [](const ExchangeOutcome& out) { return evaluateAddressedWrite(out); });
}
}  // namespace

int directWriteAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t reply[kFrameSize];
    const int r = writeWithAddress(module, functionCode, address, data, length, reply, 6);
    return r < 0 ? r : length;
}

int directWriteReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                     uint16_t* result, int resultLength) {
    if (!validDataLength(length)) return -1;
    uint8_t reply[kFrameSize];
    const int r = writeWithAddress(module, functionCode, address, data, length, reply, 8);
    return r < 0 ? r : takeResultWord(reply, result, resultLength);
}

void bindDirectOperations() {
    linkState().operationTable = {directReadShort, directReadAddr, directWriteShort, directWriteAddr,
                                  directWriteReply};
}

void unbindOperations() {
    linkState().operationTable = {};
}

void resetModuleAccessCounters() {
    linkState().moduleReadErrors = linkState().moduleWriteErrors = 0;
}

int readShort(uint8_t module, uint8_t functionCode, void* destination, int length) {
    return linkState().operationTable.readShort
               ? linkState().operationTable.readShort(module, functionCode, destination, length)
               : -1;
}
int readAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length) {
    return linkState().operationTable.readAddr
               ? linkState().operationTable.readAddr(module, functionCode, address, destination, length)
               : -1;
}
int writeShort(uint8_t module, uint8_t functionCode, const void* data, int length) {
    return linkState().operationTable.writeShort
               ? linkState().operationTable.writeShort(module, functionCode, data, length)
               : -1;
}
int writeAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length) {
    return linkState().operationTable.writeAddr
               ? linkState().operationTable.writeAddr(module, functionCode, address, data, length)
               : -1;
}
int writeReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
               uint16_t* result, int resultLength) {
    return linkState().operationTable.writeReply
               ? linkState().operationTable.writeReply(module, functionCode, address, data, length, result,
                                                       resultLength)
               : -1;
}

namespace {
// Moves length bytes in pieces of at most 8; returns the bytes completed before the first failing piece.
template <typename Piece>
int chunked(int length, Piece piece) {
    int total = 0;
    while (total < length) {
        const int n = std::min(length - total, 8);
        if (piece(total, n) != n) return total;
        total += n;
    }
    return total;
}
}  // namespace

int moduleRead(uint8_t module, uint32_t base, uint32_t offset, void* destination, int length) {
    auto* out = static_cast<uint8_t*>(destination);
    return chunked(length, [&](int done, int n) {
        return readAddr(module, 2, base + ((offset + done) & 0xFFFF), out + done, n);
    });
}

int moduleReadWords(uint8_t module, uint32_t address, void* destination, int length) {
    auto* out = static_cast<uint8_t*>(destination);
    return chunked(length, [&](int done, int n) {
        return readAddr(module, 2, address + kWordSpace + done / 2, out + done, n);
    });
}

int moduleWrite(uint8_t module, uint32_t base, uint32_t offset, const void* data, int length) {
    const auto* in = static_cast<const uint8_t*>(data);
    return chunked(length, [&](int done, int n) {
        return writeAddr(module, 3, base + ((offset + done) & 0xFFFF), in + done, n);
    });
}

int moduleWriteWords(uint8_t module, uint32_t address, const void* data, int length) {
    const auto* in = static_cast<const uint8_t*>(data);
    return chunked(length, [&](int done, int n) {
        return writeAddr(module, 3, address + kWordSpace + done / 2, in + done, n);
    });
}

int moduleCommand(uint8_t module, uint32_t base, uint32_t offset, const void* data, int length) {
    uint16_t result = 0;
    const int r = writeReply(module, 3, base + (offset & 0xFFFF) + kCommandSpace, data, length, &result, 2);
    return r == 2 ? result : -1;
}

int assignBySerial(uint32_t serialNumber, uint16_t firstWord, uint16_t secondWord) {
    const uint8_t data[4] = {static_cast<uint8_t>(firstWord), static_cast<uint8_t>(firstWord >> 8),
                             static_cast<uint8_t>(secondWord), static_cast<uint8_t>(secondWord >> 8)};
    const int r = writeAddr(static_cast<uint8_t>(serialNumber >> 18), 0, serialNumber & 0x3FFFF, data, 4);
    return r < 0 ? r : 0;
}

}  // namespace vz
