// The controller's SNMP agent: SNMPv2c on UDP port 161 over IPv4 over SLIP, on the same serial line
// as the direct protocol. It serves sysDescr.0, which the program reads to find out whether the
// controller speaks SNMP, and one object whose SetRequest carries a module access frame without its
// check byte; the answer carries the reply frame, also without its check byte.
#include <algorithm>

#include "sim/controller.h"
#include "sim/slip.h"
#include "sim/snmp_message.h"
#include "sim/udp_ip_packet.h"

namespace vsim {
namespace {

constexpr uint16_t kAgentPort = 161;
constexpr uint8_t kReplyTtl = 64;
constexpr int32_t kErrNoCreation = 11;

// OBJECT IDENTIFIER contents without the instance.
const std::vector<uint8_t> kSysDescr{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01};  // 1.3.6.1.2.1.1.1
const std::vector<uint8_t> kFrameObject{0x2B, 0x06, 0x01, 0x04, 0x01, 0x81,
                                        0xC0, 0x68, 0x01, 0x01, 0x88, 0x03};  // 1.3.6.1.4.1.24680.1.1.1027

std::vector<uint8_t> instance0(std::vector<uint8_t> oid) {
    oid.push_back(0);
    return oid;
}

// Sub-identifiers end on bytes below 0x80, so a byte prefix that ends on one is an OID prefix.
bool under(const std::vector<uint8_t>& oid, const std::vector<uint8_t>& object) {
    return oid.size() > object.size() && std::equal(object.begin(), object.end(), oid.begin());
}

struct SnmpRequest {
    UdpDatagram datagram;
    SnmpMessage message;
};

std::optional<SnmpRequest> parseRequest(const std::vector<uint8_t>& packet) {
    std::string why;
    auto datagram = parseUdpPacket(packet, why);
    if (!datagram || datagram->destinationPort != kAgentPort) return std::nullopt;
    auto message = decodeSnmpMessage(datagram->payload.data(), datagram->payload.size());
    // The controller's community is empty; like any agent it ignores requests for another one.
    if (!message || message->version != kSnmpV2c || !message->community.empty()) return std::nullopt;
    if (message->pdu != kPduGetRequest && message->pdu != kPduSetRequest) return std::nullopt;
    return SnmpRequest{std::move(*datagram), std::move(*message)};
}

// The module access frame a SetRequest carries, or the error-status that refuses it.
struct CarriedFrame {
    std::optional<Request> request;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
};

CarriedFrame carriedFrame(const SnmpMessage& m) {
    if (m.bindings.size() != 1) return {std::nullopt, kErrGenErr, 0};  // one frame, one answer
    const VarBind& b = m.bindings[0];
    if (b.oid == instance0(kSysDescr)) return {std::nullopt, kErrNotWritable, 1};
    if (b.oid != instance0(kFrameObject)) return {std::nullopt, kErrNoCreation, 1};
    if (b.valueTag != kTagOctetString) return {std::nullopt, kErrWrongType, 1};
    if (b.value.size() < 2 || b.value.size() + 1 != requestSize(b.value[1]))
        return {std::nullopt, kErrWrongLength, 1};
    std::vector<uint8_t> frame = b.value;
    frame.push_back(checkByte(frame.data(), frame.size()));
    return {decodeRequest(frame.data(), frame.size()), 0, 0};
}

const ExchangeKey kProbeKey{255, Operation::Probe, std::nullopt};

}  // namespace

std::string Controller::sysDescr() const {
    const char* name = "UNKNOWN";
    switch (def_.type) {
        case 16:
            name = "QX308";
            break;
        case 17:
            name = "WDX";
            break;
        case 18:
            name = "KRAT";
            break;
        case 21:
            name = "KTS";
            break;
        case 22:
            name = "VAR7";
            break;
        default:
            break;
    }
    return std::string(name) + " crate controller (virtual)";
}

std::optional<ExchangeKey> Controller::snmpKeyOf(const uint8_t* data, size_t length) const {
    SlipDecoder slip;
    for (size_t i = 0; i < length; ++i) {
        const auto result = slip.push(data[i]);
        if (result == SlipDecoder::Result::Broken) return std::nullopt;
        if (result != SlipDecoder::Result::Frame) continue;
        const auto in = parseRequest(slip.frame());
        if (!in) return std::nullopt;
        if (in->message.pdu == kPduGetRequest) return kProbeKey;
        const CarriedFrame carried = carriedFrame(in->message);
        if (!carried.request) return std::nullopt;
        return keyOf(*carried.request);
    }
    return std::nullopt;
}

std::optional<Controller::Reply> Controller::answerPacket(const std::vector<uint8_t>& packet,
                                                          int64_t timeUs) {
    const auto in = parseRequest(packet);
    if (!in) {
        ++snmpDropped_;
        return std::nullopt;
    }
    SnmpMessage out = in->message;  // request id, community and bindings are echoed
    out.pdu = kPduResponse;
    out.errorStatus = out.errorIndex = 0;
    FaultEffects fx;
    int64_t readyUs = timeUs;

    if (in->message.pdu == kPduGetRequest) {
        fx = drawFaults(kProbeKey, Carrier::Snmp);
        const std::string descr = sysDescr();
        for (VarBind& b : out.bindings) {
            b.value.clear();
            if (b.oid == instance0(kSysDescr)) {
                b.valueTag = kTagOctetString;
                b.value.assign(descr.begin(), descr.end());
            } else {
                b.valueTag = under(b.oid, kSysDescr) || under(b.oid, kFrameObject) || b.oid == kSysDescr ||
                                     b.oid == kFrameObject
                                 ? kNoSuchInstance
                                 : kNoSuchObject;
            }
        }
        readyUs += fx.delayUs;
    } else {
        const CarriedFrame carried = carriedFrame(in->message);
        if (!carried.request) {
            out.errorStatus = carried.errorStatus;
            out.errorIndex = carried.errorIndex;
        } else {
            fx = drawFaults(keyOf(*carried.request), Carrier::Snmp);
            const auto reply = answerFrame(*carried.request, timeUs, fx);
            if (!reply) return std::nullopt;  // an absent module, and the controller keeps quiet
            VarBind& b = out.bindings[0];
            b.value.assign(reply->bytes.begin(), reply->bytes.end() - 1);  // no check byte on this line
            readyUs = reply->readyUs;
        }
    }
    if (fx.noReply) return std::nullopt;

    for (VarBind& b : out.bindings) {
        const auto cut = std::min(b.value.size(), static_cast<size_t>(fx.shortBytes));
        b.value.resize(b.value.size() - cut);
        if (fx.exception) {
            b.valueTag = *fx.exception;
            b.value.clear();
        }
    }
    if (fx.wrongRequestId) out.requestId = out.requestId > 1 ? out.requestId - 1 : 255;  // a stale answer
    if (fx.versionZero) out.version = kSnmpV1;

    UdpDatagram d;
    d.source = in->datagram.destination;
    d.destination = in->datagram.source;
    d.sourcePort = kAgentPort;
    d.destinationPort = in->datagram.sourcePort;
    d.ttl = kReplyTtl;
    d.payload = encodeSnmpMessage(out);
    if (fx.malformedBytes > 0)
        d.payload.resize(d.payload.size() -
                         std::min(d.payload.size() - 1, static_cast<size_t>(fx.malformedBytes)));
    std::vector<uint8_t> packetOut = buildUdpPacket(d);
    if (fx.corrupt) {
        // The datagram's own check is the UDP checksum; 0 would mean "none" and pass.
        auto check = static_cast<uint16_t>(~((packetOut[26] << 8) | packetOut[27]));
        if (check == 0) check = 1;
        packetOut[26] = static_cast<uint8_t>(check >> 8);
        packetOut[27] = static_cast<uint8_t>(check);
    }

    std::vector<uint8_t> wire;
    for (int i = 0; i < fx.garbageBytes; ++i) {
        auto noise = static_cast<uint8_t>(random_());
        if (noise == kSlipEnd || noise == kSlipEsc) noise ^= 0x01;  // noise, not framing
        wire.push_back(noise);
    }
    if (fx.garbageBytes > 0) wire.push_back(kSlipEnd);
    const auto framed = slipEncode(packetOut);
    wire.insert(wire.end(), framed.begin(), framed.end());
    ++snmpAnswered_;
    return Reply{std::move(wire), readyUs};
}

}  // namespace vsim
