#include "tests/snmp/peer_wire.h"

namespace vz::test {

uint16_t onesComplementSum(const Bytes& bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i) sum += (i % 2 == 0) ? bytes[i] * 256u : bytes[i];
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

std::vector<Bytes> slipFrames(const Bytes& stream) {
    std::vector<Bytes> frames;
    Bytes current;
    for (size_t i = 0; i < stream.size(); ++i) {
        const uint8_t b = stream[i];
        if (b == 0xC0) {
            if (!current.empty()) frames.push_back(current);
            current.clear();
        } else if (b == 0xDB && i + 1 < stream.size()) {
            const uint8_t next = stream[++i];
            current.push_back(next == 0xDC ? 0xC0 : next == 0xDD ? 0xDB : next);
        } else {
            current.push_back(b);
        }
    }
    return frames;
}

Bytes slipEncodeFrame(const Bytes& packet) {
    Bytes out;
    for (uint8_t b : packet) {
        if (b == 0xC0)
            out.insert(out.end(), {0xDB, 0xDC});
        else if (b == 0xDB)
            out.insert(out.end(), {0xDB, 0xDD});
        else
            out.push_back(b);
    }
    out.push_back(0xC0);
    return out;
}

namespace {
void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
Bytes pseudoAndUdp(const Bytes& packet) {
    Bytes p(packet.begin() + 12, packet.begin() + 20);
    const size_t udpLength = packet.size() - 20;
    p.insert(p.end(), {0, 17, static_cast<uint8_t>(udpLength >> 8), static_cast<uint8_t>(udpLength)});
    p.insert(p.end(), packet.begin() + 20, packet.end());
    return p;
}
}  // namespace

Bytes agentPacket(const Bytes& payload) {
    Bytes p(28, 0);
    p[0] = 0x45;
    put16(p, 2, static_cast<uint32_t>(payload.size() + 28));
    p[8] = 64;
    p[9] = 17;
    p[12] = 10, p[15] = 2;  // the agent's own address; the host does not look at it
    put16(p, 10, static_cast<uint16_t>(~onesComplementSum(Bytes(p.begin(), p.begin() + 20))));
    put16(p, 20, 161);
    put16(p, 22, 1024);
    put16(p, 24, static_cast<uint32_t>(payload.size() + 8));
    p.insert(p.end(), payload.begin(), payload.end());
    uint16_t udp = static_cast<uint16_t>(~onesComplementSum(pseudoAndUdp(p)));
    put16(p, 26, udp == 0 ? 0xFFFF : udp);
    return p;
}

bool checksumsVerify(const Bytes& packet) {
    if (packet.size() < 28) return false;
    return onesComplementSum(Bytes(packet.begin(), packet.begin() + 20)) == 0xFFFF &&
           onesComplementSum(pseudoAndUdp(packet)) == 0xFFFF;
}

namespace {
// Short-form lengths only: the host's requests are small.
struct Walker {
    const Bytes& b;
    size_t at = 0;
    bool element(uint8_t& tag, Bytes& contents) {
        if (at + 2 > b.size() || b[at + 1] >= 0x80 || at + 2 + b[at + 1] > b.size()) return false;
        tag = b[at];
        contents.assign(b.begin() + static_cast<long>(at) + 2,
                        b.begin() + static_cast<long>(at) + 2 + b[at + 1]);
        at += 2 + b[at + 1];
        return true;
    }
    bool header(uint8_t& tag) {
        if (at + 2 > b.size()) return false;
        tag = b[at];
        at += 2;
        return true;
    }
};
int64_t integerValue(const Bytes& c) {
    int64_t v = (!c.empty() && (c[0] & 0x80)) ? -1 : 0;
    for (uint8_t x : c) v = v * 256 + x;
    return v;
}
}  // namespace

std::optional<SnmpRequest> decodeRequest(const Bytes& udpPayload) {
    SnmpRequest r;
    r.message = udpPayload;
    Walker w{udpPayload};
    uint8_t tag = 0;
    Bytes c;
    if (!w.header(tag) || tag != 0x30) return std::nullopt;
    if (!w.element(tag, c) || tag != 0x02) return std::nullopt;
    r.version = static_cast<int>(integerValue(c));
    if (!w.element(tag, c) || tag != 0x04) return std::nullopt;
    if (!w.header(r.pdu)) return std::nullopt;
    if (!w.element(tag, c) || tag != 0x02) return std::nullopt;
    r.id = integerValue(c);
    if (!w.element(tag, c) || !w.element(tag, c)) return std::nullopt;  // error-status, error-index
    if (!w.header(tag) || !w.header(tag)) return std::nullopt;          // list, binding
    if (!w.element(tag, r.oid) || tag != 0x06) return std::nullopt;
    if (!w.element(r.valueTag, r.value)) return std::nullopt;
    return r;
}

Bytes tlv(uint8_t tag, const Bytes& contents) {
    Bytes out{tag};
    if (contents.size() < 128) {
        out.push_back(static_cast<uint8_t>(contents.size()));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<uint8_t>(contents.size() >> 8));
        out.push_back(static_cast<uint8_t>(contents.size()));
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

Bytes berInteger(int64_t value) {
    Bytes c;
    do {
        c.insert(c.begin(), static_cast<uint8_t>(value & 0xFF));
        value >>= 8;
    } while (!((value == 0 && !(c.front() & 0x80)) || (value == -1 && (c.front() & 0x80))));
    return tlv(0x02, c);
}

Bytes octetString(const Bytes& contents) {
    return tlv(0x04, contents);
}

Bytes snmpResponse(int64_t id, const Bytes& oid, const Bytes& valueElement, int version, uint8_t pduTag) {
    Bytes binding = tlv(0x06, oid);
    binding.insert(binding.end(), valueElement.begin(), valueElement.end());
    Bytes pdu = berInteger(id);
    for (const Bytes& part : {berInteger(0), berInteger(0), tlv(0x30, tlv(0x30, binding))})
        pdu.insert(pdu.end(), part.begin(), part.end());
    Bytes message = berInteger(version);
    for (const Bytes& part : {octetString({}), tlv(pduTag, pdu)})
        message.insert(message.end(), part.begin(), part.end());
    return tlv(0x30, message);
}

}  // namespace vz::test
