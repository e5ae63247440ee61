#pragma once
// The controller's side of the wire, written apart from the client's code so that a fault in the
// client's framing or encoding cannot cancel out: SLIP, IPv4/UDP with checksums, and just enough
// BER to read a request and build a response.
#include <cstdint>
#include <optional>
#include <vector>

namespace vz::test {

using Bytes = std::vector<uint8_t>;

// One's-complement sum of big-endian 16-bit words, folded, not complemented.
uint16_t onesComplementSum(const Bytes& bytes);
// The bytes of every SLIP frame in a stream written by the host (frames without content skipped).
std::vector<Bytes> slipFrames(const Bytes& stream);
Bytes slipEncodeFrame(const Bytes& packet);
// An IPv4/UDP packet from the agent (port 161) to the host (port 1024), checksums filled in.
Bytes agentPacket(const Bytes& payload);
// True when the IP header checksum and the UDP checksum (with pseudo-header) both verify.
bool checksumsVerify(const Bytes& packet);

struct SnmpRequest {
    Bytes message;  // the UDP payload
    int version = -1;
    uint8_t pdu = 0;
    int64_t id = 0;
    Bytes oid;  // contents
    uint8_t valueTag = 0;
    Bytes value;
};
std::optional<SnmpRequest> decodeRequest(const Bytes& udpPayload);

Bytes tlv(uint8_t tag, const Bytes& contents);
Bytes berInteger(int64_t value);
Bytes octetString(const Bytes& contents);
// A response message: version, empty community, Response PDU with the id, error fields 0, one
// binding of oid (contents) with the given value element.
Bytes snmpResponse(int64_t id, const Bytes& oid, const Bytes& valueElement, int version = 1,
                   uint8_t pduTag = 0xA2);

}  // namespace vz::test
