#include "link/snmp/snmp_client.h"

#include <cstring>
#include <mutex>

#include "base/clock.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/datagram_link.h"
#include "link/snmp/snmp_ber_encoder.h"
#include "link/snmp/snmp_ber_reader.h"

namespace vz {

namespace {

constexpr uint8_t kSysDescr[] = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01};
constexpr uint8_t kModuleFrame[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03};

constexpr uint8_t kTagSequence = 0x30;
constexpr uint8_t kTagOctetString = 0x04;
constexpr int kSnmpVersion2c = 1;

constexpr int kOctetsWrongTag = -3;
constexpr int kOctetsBadLength = -1;

bool isException(uint8_t tag) {
    return tag >= 0x80 && tag <= 0x82;
}

// The bound crate's client state; serialised by linkState().linkLock.
SnmpClientState& clientState() {
    return linkState().snmpClient;
}

bool readStringValue(BerReader& in) {
    size_t length = 0;
    if (!in.enter(kTagOctetString, length)) return false;
    if (static_cast<int64_t>(length) >= clientState().sink.capacity) return false;  // room for the zero byte
    std::memcpy(clientState().sink.destination, in.current(), length);
    clientState().sink.destination[length] = 0;
    return true;
}

bool readOctetsValue(BerReader& in) {
    uint8_t tag = 0;
    in.readByte(tag);
    if (tag != kTagOctetString) {
        clientState().sink.replyLength = kOctetsWrongTag;
        return false;
    }
    size_t length = 0;
    if (!in.readLength(length)) {
        clientState().sink.replyLength = kOctetsBadLength;
        return false;
    }
    clientState().sink.replyLength = static_cast<int>(length);  // a datagram is far below INT_MAX
    if (static_cast<int64_t>(length) > clientState().sink.capacity) return false;
    std::memcpy(clientState().sink.destination, in.current(), length);
    return true;
}

}  // namespace

const SnmpOid kSysDescrOid{kSysDescr, sizeof kSysDescr};
const SnmpOid kModuleFrameOid{kModuleFrame, sizeof kModuleFrame};

int parseResponse(const uint8_t* payload, int length) {
    if (length <= 0) return 0;
    BerReader in(payload, static_cast<size_t>(length));
    size_t n = 0;
    int64_t version = 0, requestId = 0, errorStatus = 0, errorIndex = 0;
    if (!in.enter(kTagSequence, n)) return 0;
    if (!in.readInteger(version) || version < 0 || version > kSnmpVersion2c) return 0;
    if (!in.enter(kTagOctetString, n) || !in.skip(n)) return 0;  // community: whatever it says
    if (!in.enter(kPduResponse, n)) return 0;
    if (!in.readInteger(requestId) || clientState().pendingId == 0 || requestId != clientState().pendingId)
        return 0;
    // Not evaluated: an agent's error shows up as a value that does not fit.
    if (!in.readInteger(errorStatus) || !in.readInteger(errorIndex)) return 0;
    if (!in.enter(kTagSequence, n) || !in.enter(kTagSequence, n)) return 0;
    uint8_t nameTag = 0, nameLength = 0;
    if (!in.readByte(nameTag) || !in.readByte(nameLength) || !in.skip(nameLength)) return 0;
    uint8_t valueTag = 0;
    if (!in.peek(valueTag)) return 0;
    clientState().valueTag = valueTag;
    if (!isException(valueTag)) {
        if (clientState().sink.destination == nullptr || clientState().sink.reader == ValueReader::None)
            return 0;
        // The reader's own failure does not matter: the destination stays as it was, or the
        // reported length will not match what the caller expects.
        if (clientState().sink.reader == ValueReader::String)
            readStringValue(in);
        else
            readOctetsValue(in);
    }
    clientState().pendingId = 0;
    return 1;
}

int snmpExchange(uint8_t pduTag) {
    BerEncoder& e = clientState().encoder;
    if (++clientState().requestIdCounter == 0)
        clientState().requestIdCounter = 1;  // ids run 1 to 255, never 0
    clientState().pendingId = clientState().requestIdCounter;

    e.close(kTagSequence);  // the binding list
    e.putInteger(0);        // error-index
    e.putInteger(0);        // error-status
    e.putInteger(clientState().pendingId);
    e.close(pduTag);
    e.putOctetString(nullptr, 0);  // empty community
    e.putInteger(kSnmpVersion2c);
    e.close(kTagSequence);
    if (e.overflowed()) return -1;  // an incomplete message would only confuse the agent

    sendDatagram(e.data(), static_cast<int>(e.size()));
    const int64_t start = clock().nowMs();
    for (;;) {
        // The read itself waits for the bridge's read time-out; no sleep here.
        if (receiveDatagram(parseResponse) >= 0 && clientState().pendingId == 0) break;
        if (clock().nowMs() - start >= kSnmpTimeoutMs) return -1;
    }
    return isException(clientState().valueTag) ? clientState().valueTag : 0;
}

int snmpGetString(const SnmpOid& oid, uint16_t subIdentifier, char* buffer, int capacity) {
    if (buffer != nullptr && capacity > 0) buffer[0] = 0;  // a response without a string leaves ""
    BerEncoder& e = clientState().encoder;
    e.reset();
    e.putNull();
    e.putOid(oid.contents, oid.size, subIdentifier);
    e.close(kTagSequence);
    clientState().sink = {reinterpret_cast<uint8_t*>(buffer), buffer ? capacity : 0, 0, ValueReader::String};
    return snmpExchange(kPduGetRequest);
}

int snmpSetOctets(const SnmpOid& oid, const uint8_t* data, int length, uint8_t* reply, int capacity,
                  int* replyLength) {
    BerEncoder& e = clientState().encoder;
    e.reset();
    e.putOctetString(data, static_cast<size_t>(length < 0 ? 0 : length));
    e.putOid(oid.contents, oid.size, 0);
    e.close(kTagSequence);
    clientState().sink = {reply, reply ? capacity : 0, 0, ValueReader::Octets};
    const int result = snmpExchange(kPduSetRequest);
    if (replyLength) *replyLength = clientState().sink.replyLength;
    return result;
}

int snmpProbe(uint8_t* buffer, int capacity) {
    // Runs before the module search, alone on the link; the lock costs nothing and keeps it safe.
    std::lock_guard lock(linkState().linkLock);
    return snmpGetString(kSysDescrOid, 0, reinterpret_cast<char*>(buffer), capacity);
}

int snmpTransact(const uint8_t* request, int requestLength, uint8_t* reply, int capacity, int* replyLength) {
    std::lock_guard lock(linkState().linkLock);
    return snmpSetOctets(kModuleFrameOid, request, requestLength, reply, capacity, replyLength);
}

void resetSnmpClient() {
    std::lock_guard lock(linkState().linkLock);
    clientState().requestIdCounter = 0;
    clientState().pendingId = 0;
    clientState().valueTag = 0;
    clientState().sink = {};
    clientState().encoder.reset();
    resetDatagramReceiver();
}

int snmpPendingRequestId() {
    return clientState().pendingId;
}

}  // namespace vz
