#pragma once
// The state the SNMP client keeps between a request and its answer, one per crate.
#include <cstdint>

#include "link/snmp/snmp_ber_encoder.h"

namespace vz {

enum class ValueReader { None, String, Octets };

// Where the value of the next accepted response goes; registered before each request and kept
// until the next one registers its own.
struct ValueSink {
    uint8_t* destination = nullptr;
    int capacity = 0;
    int replyLength = 0;
    ValueReader reader = ValueReader::None;
};

// One crate's SNMP client: the request ids it counts and where the next answer's value goes.
// Serialised by the crate's linkLock.
struct SnmpClientState {
    BerEncoder encoder;
    uint8_t requestIdCounter = 0;
    int pendingId = 0;
    uint8_t valueTag = 0;
    ValueSink sink;
};

}  // namespace vz
