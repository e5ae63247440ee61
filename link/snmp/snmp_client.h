#pragma once
// The minimal SNMPv2c client that carries module access frames to the crate controller: one
// request at a time, GetRequest/SetRequest with one binding, a 1000 ms wait for the response on
// the injectable clock, no re-send (retries happen in the module operations).
#include <cstddef>
#include <cstdint>

namespace vz {

// An object identifier as its BER contents without tag and length; one sub-identifier is appended
// when it is encoded.
struct SnmpOid {
    const uint8_t* contents;
    size_t size;
};

extern const SnmpOid kSysDescrOid;     // 1.3.6.1.2.1.1.1
extern const SnmpOid kModuleFrameOid;  // 1.3.6.1.4.1.24680.1.1.1027

constexpr uint8_t kPduGetRequest = 0xA0;
constexpr uint8_t kPduResponse = 0xA2;
constexpr uint8_t kPduSetRequest = 0xA3;
constexpr int kSnmpTimeoutMs = 1000;

// Results of the exchange functions: 0 success, 0x80/0x81/0x82 when the value is noSuchObject,
// noSuchInstance or endOfMibView, -1 when no matching response came within kSnmpTimeoutMs.

// Completes the message around the binding already encoded, sends it once and waits.
int snmpExchange(uint8_t pduTag);
// GetRequest of oid.subIdentifier; an OCTET STRING shorter than capacity is stored NUL-terminated.
int snmpGetString(const SnmpOid& oid, uint16_t subIdentifier, char* buffer, int capacity);
// SetRequest of oid.0 with the data as OCTET STRING. The response's OCTET STRING is copied when it
// fits the capacity; its announced length (-3 no OCTET STRING, -1 bad length, 0 when the
// response carried no value) goes to replyLength either way.
int snmpSetOctets(const SnmpOid& oid, const uint8_t* data, int length, uint8_t* reply, int capacity,
                  int* replyLength);
// 1 when the payload was taken as the response to the pending request, 0 when dropped.
int parseResponse(const uint8_t* payload, int length);

// sysDescr.0 into the buffer; 0 means the controller speaks SNMP.
int snmpProbe(uint8_t* buffer, int capacity);
// One module access frame (without check byte) out, the module's reply frame back.
int snmpTransact(const uint8_t* request, int requestLength, uint8_t* reply, int capacity, int* replyLength);

// Request ids start again at 1, nothing is pending, a partly received frame is forgotten.
void resetSnmpClient();
// The id of the request now waiting for its response, 0 when none.
int snmpPendingRequestId();

}  // namespace vz
