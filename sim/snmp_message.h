#pragma once
// SNMP messages (v1/v2c layout: version, community, one PDU with its variable bindings) as BER
// bytes, in both directions.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vsim {

inline constexpr int32_t kSnmpV1 = 0;
inline constexpr int32_t kSnmpV2c = 1;

inline constexpr uint8_t kPduGetRequest = 0xA0;
inline constexpr uint8_t kPduGetNextRequest = 0xA1;
inline constexpr uint8_t kPduResponse = 0xA2;
inline constexpr uint8_t kPduSetRequest = 0xA3;

inline constexpr uint8_t kTagOctetString = 0x04;
inline constexpr uint8_t kTagNull = 0x05;
inline constexpr uint8_t kTagOid = 0x06;
inline constexpr uint8_t kNoSuchObject = 0x80;
inline constexpr uint8_t kNoSuchInstance = 0x81;
inline constexpr uint8_t kEndOfMibView = 0x82;

// error-status values of a Response
inline constexpr int32_t kErrWrongType = 7;
inline constexpr int32_t kErrWrongLength = 8;
inline constexpr int32_t kErrGenErr = 5;
inline constexpr int32_t kErrNotWritable = 17;

struct VarBind {
    std::vector<uint8_t> oid;  // BER contents of the OBJECT IDENTIFIER
    uint8_t valueTag = kTagNull;
    std::vector<uint8_t> value;  // contents of the value element
};

struct SnmpMessage {
    int32_t version = kSnmpV2c;
    std::vector<uint8_t> community;
    uint8_t pdu = kPduResponse;
    int32_t requestId = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    std::vector<VarBind> bindings;
};

// Strict: one message filling the whole payload, every element well-formed and in its place;
// anything else is nullopt.
std::optional<SnmpMessage> decodeSnmpMessage(const uint8_t* data, size_t size);
std::vector<uint8_t> encodeSnmpMessage(const SnmpMessage& m);

}  // namespace vsim
