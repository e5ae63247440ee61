#pragma once
// Deterministic fault injection: a rule picks exchanges by channel, operation and address and
// decides by count, every-Nth and a seeded draw whether it fires.
#include <cstdint>
#include <optional>
#include <random>

#include "sim/module_access_frame.h"

namespace vsim {

enum class FaultKind {
    NoReply,        // the controller stays silent
    ShortReply,     // the last `bytes` bytes of the reply are lost
    CorruptCheck,   // the check byte is inverted
    ModuleError,    // status 7 instead of the answer
    Refuse,         // a parameter write answered with result `code`, nothing stored
    WriteFail,      // the bridge reports a failed write; nothing reaches the controller
    Slow,           // the answer comes `delayMs` later
    CorruptBuffer,  // a read of module memory (the boot loader's data buffer) has its last byte changed
    ModuleSilent,   // the module does not answer: the controller reports an error after its CAN time-out
    // Only on the SNMP line:
    NoSuchObject,    // the value of the answer is this exception
    NoSuchInstance,  // likewise
    EndOfMibView,    // likewise
    WrongRequestId,  // the answer carries the id of the request before
    VersionZero,     // the answer says SNMPv1
    MalformedBer,    // the answer's last `bytes` bytes are cut off while its lengths still count them
    Garbage,         // `bytes` bytes of line noise and an END go out before the answer
};

// Kinds that only exist for SNMP exchanges.
bool snmpOnly(FaultKind kind);

struct FaultRule {
    FaultKind kind = FaultKind::NoReply;
    int channel = -1;                    // module number, 255 the controller, -1 any
    std::optional<Operation> operation;  // any when empty
    std::optional<uint32_t> address;     // 18-bit frame address, when the exchange carries one
    int after = 0;                       // matching exchanges let through first
    int everyNth = 1;                    // then fire on every Nth match
    int count = 0;                       // fire at most this often; 0 no limit
    double probability = 1.0;            // drawn from the crate's seeded generator
    uint16_t code = 1;                   // Refuse
    int bytes = 1;                       // ShortReply, MalformedBer, Garbage
    int delayMs = 0;                     // Slow

    // Run-time counters.
    int matched = 0;
    int fired = 0;
};

struct ExchangeKey {
    int channel;  // module number, 255 controller, 256 + address byte for broadcast and others
    Operation operation;
    std::optional<uint32_t> address;
};

// Tells whether the rule fires for this exchange and counts it.
bool ruleFires(FaultRule& rule, const ExchangeKey& key, std::mt19937& random);
const char* faultKindName(FaultKind kind);
std::optional<FaultKind> faultKindFromName(const std::string& name);

}  // namespace vsim
