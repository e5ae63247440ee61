#include "link/snmp/snmp_operations.h"

#include "base/debug_log.h"
#include "link/exchange_engine.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/module_frame.h"
#include "link/snmp/snmp_client.h"

namespace vz {

namespace {

struct Transaction {
    const uint8_t* request;
    int requestLength;
    uint8_t* reply;
    int expectedLength;
    bool isRead;
    int dataLength;  // reads: the data bytes that must follow the status (and address)
};

bool goodReply(const Transaction& t, int result, int replyLength) {
    return result == 0 &&
           replyHoldsData(t.reply, replyLength, t.expectedLength, t.isRead, t.dataLength, FrameCheck::none);
}

template <typename FinishFn>
int run(const Transaction& t, FinishFn finish) {
    return runExchange(
        t.request[0], t.isRead,
        [&](ExchangeOutcome& out) {
            int replyLength = 0;
            const int result =
                snmpTransact(t.request, t.requestLength, t.reply, t.expectedLength, &replyLength);
            if (result != 0) debugLog(kLogWarning, "SNMP status %d", result);
            if (replyLength != t.expectedLength)
                debugLog(kLogError, "Expected %d bytes, got %d bytes", t.expectedLength, replyLength);
            // A reply was copied only when it fit.
            if (result == 0 && replyLength >= 2 && replyLength <= t.expectedLength)
                out.status = t.reply[1] & 7;
            return goodReply(t, result, replyLength) ? Attempt::Good : Attempt::Retry;
        },
        [] {}, [] { return true; }, finish);
}

int writeWithAddress(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                     uint8_t* reply, int expectedLength) {
    uint8_t request[kFrameSize];
    const int size =
        buildRequest(request, module, false, functionCode, &address, data, length, FrameCheck::none);
    return run({request, size, reply, expectedLength, false, 0},
               [](const ExchangeOutcome& out) { return evaluateAddressedWrite(out); });
}

}  // namespace

int snmpReadShort(uint8_t module, uint8_t functionCode, void* destination, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    const int size =
        buildRequest(request, module, true, functionCode, nullptr, nullptr, length, FrameCheck::none);
    return run({request, size, reply, length + 2, true, length},
               [&](const ExchangeOutcome& out) { return evaluateRead(out, reply, destination, length); });
}

int snmpReadAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    const int size =
        buildRequest(request, module, true, functionCode, &address, nullptr, length, FrameCheck::none);
    return run({request, size, reply, length + 5, true, length},
               [&](const ExchangeOutcome& out) { return evaluateRead(out, reply, destination, length); });
}

int snmpWriteShort(uint8_t module, uint8_t functionCode, const void* data, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t request[kFrameSize], reply[kFrameSize];
    const int size =
        buildRequest(request, module, false, functionCode, nullptr, data, length, FrameCheck::none);
    return run({request, size, reply, 2, false, 0},
               [&](const ExchangeOutcome& out) { return evaluateWriteShort(out, length); });
}

int snmpWriteAddr(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length) {
    if (!validDataLength(length)) return -1;
    uint8_t reply[kFrameSize];
    const int r = writeWithAddress(module, functionCode, address, data, length, reply, 5);
    return r < 0 ? r : length;
}

int snmpWriteReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data, int length,
                   uint16_t* result, int resultLength) {
    if (!validDataLength(length)) return -1;
    uint8_t reply[kFrameSize];
    const int r = writeWithAddress(module, functionCode, address, data, length, reply, 7);
    return r < 0 ? r : takeResultWord(reply, result, resultLength);
}

void bindSnmpVariants() {
    linkState().operationTable = {snmpReadShort, snmpReadAddr, snmpWriteShort, snmpWriteAddr, snmpWriteReply};
}

}  // namespace vz
