#pragma once
// The program's side of the SNMP line, written out in the test: SNMP messages built from literal
// elements, wrapped in IPv4/UDP/SLIP as the program sends them, and the agent's answers taken apart
// with every checksum recomputed here.
#include <cstdint>
#include <string>
#include <vector>

#include "crate_fixture.h"

namespace snmpwire {

// 1.3.6.1.4.1.24680.1.1.1027.0 and 1.3.6.1.2.1.1.1.0 as OBJECT IDENTIFIER contents.
inline const Bytes kFrameOid{0x2B, 0x06, 0x01, 0x04, 0x01, 0x81, 0xC0, 0x68, 0x01, 0x01, 0x88, 0x03, 0x00};
inline const Bytes kSysDescrOid{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};

// One BER element with a short-form length (every message here stays below 128 bytes a level).
inline Bytes tlv(uint8_t tag, const Bytes& contents) {
    Bytes out{tag, static_cast<uint8_t>(contents.size())};
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Message {
    uint8_t pdu = 0xA3;
    Bytes requestId{0x02, 0x01, 0x2A};  // the whole INTEGER element
    Bytes oid = kFrameOid;
    uint8_t valueTag = 0x04;
    Bytes value;
    uint8_t version = 1;
    uint8_t errorStatus = 0;
    uint8_t errorIndex = 0;
    Bytes community;

    Bytes encode() const {
        const Bytes binding = tlv(0x30, cat({tlv(0x06, oid), tlv(valueTag, value)}));
        const Bytes pduBody =
            cat({requestId, tlv(0x02, {errorStatus}), tlv(0x02, {errorIndex}), tlv(0x30, binding)});
        return tlv(0x30, cat({tlv(0x02, {version}), tlv(0x04, community), tlv(pdu, pduBody)}));
    }
};

inline uint32_t sum16(const Bytes& b, size_t from, size_t length, uint32_t sum = 0) {
    for (size_t i = 0; i < length; ++i) sum += (i % 2 == 0) ? b[from + i] << 8 : b[from + i];
    while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

inline uint32_t pseudoSum(const Bytes& packet) {
    const Bytes pseudo{packet[12], packet[13], packet[14], packet[15], packet[16], packet[17],
                       packet[18], packet[19], 0,          17,         packet[24], packet[25]};
    return sum16(pseudo, 0, pseudo.size());
}

// As the program sends it: 0.0.0.0 to 0.0.0.0, TTL 128, port 1024 to 161, both checksums.
inline Bytes udpPacket(const Bytes& payload) {
    const size_t total = payload.size() + 28;
    Bytes p{0x45,
            0,
            static_cast<uint8_t>(total >> 8),
            static_cast<uint8_t>(total),
            0,
            0,
            0,
            0,
            0x80,
            0x11,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0};
    const uint16_t ipCheck = static_cast<uint16_t>(~sum16(p, 0, 20));
    p[10] = static_cast<uint8_t>(ipCheck >> 8);
    p[11] = static_cast<uint8_t>(ipCheck);
    const size_t udpLength = payload.size() + 8;
    const Bytes udp{
        0x04, 0x00, 0x00, 0xA1, static_cast<uint8_t>(udpLength >> 8), static_cast<uint8_t>(udpLength), 0, 0};
    p.insert(p.end(), udp.begin(), udp.end());
    p.insert(p.end(), payload.begin(), payload.end());
    uint16_t udpCheck = static_cast<uint16_t>(~sum16(p, 20, udpLength, pseudoSum(p)));
    if (udpCheck == 0) udpCheck = 0xFFFF;
    p[26] = static_cast<uint8_t>(udpCheck >> 8);
    p[27] = static_cast<uint8_t>(udpCheck);
    return p;
}

inline Bytes slip(const Bytes& packet) {
    Bytes out;
    for (uint8_t b : packet) {
        if (b == 0xC0) {
            out.insert(out.end(), {0xDB, 0xDC});
        } else if (b == 0xDB) {
            out.insert(out.end(), {0xDB, 0xDD});
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xC0);
    return out;
}

inline Bytes wire(const Bytes& snmpMessage) {
    return slip(udpPacket(snmpMessage));
}

struct Answer {
    Bytes packet;
    bool ipHeaderGood = false;
    bool udpChecksumGood = false;
    bool addressedToUs = false;  // 161 -> 1024, 0.0.0.0 both ways, UDP
    Bytes payload;
};

// Splits the line bytes at END bytes into unescaped frames.
inline std::vector<Bytes> frames(const Bytes& line) {
    std::vector<Bytes> out;
    Bytes current;
    bool escape = false;
    for (uint8_t b : line) {
        if (b == 0xC0) {
            if (!current.empty()) out.push_back(current);
            current.clear();
            escape = false;
        } else if (b == 0xDB) {
            escape = true;
        } else {
            current.push_back(escape && b == 0xDC ? 0xC0 : escape && b == 0xDD ? 0xDB : b);
            escape = false;
        }
    }
    return out;
}

inline Answer unpack(const Bytes& packet) {
    Answer a;
    a.packet = packet;
    if (packet.size() < 28) return a;
    a.ipHeaderGood = packet[0] == 0x45 &&
                     static_cast<size_t>((packet[2] << 8) | packet[3]) == packet.size() &&
                     sum16(packet, 0, 20) == 0xFFFF && packet[9] == 17;
    const size_t udpLength = (packet[24] << 8) | packet[25];
    a.udpChecksumGood = udpLength == packet.size() - 20 && ((packet[26] << 8) | packet[27]) != 0 &&
                        sum16(packet, 20, udpLength, pseudoSum(packet)) == 0xFFFF;
    a.addressedToUs = Bytes(packet.begin() + 12, packet.begin() + 20) == Bytes(8, 0) &&
                      Bytes(packet.begin() + 20, packet.begin() + 24) == Bytes{0x00, 0xA1, 0x04, 0x00};
    a.payload.assign(packet.begin() + 28, packet.end());
    return a;
}

// Reads byte by byte until `count` frames have ended or nothing came for timeoutMs.
inline Bytes readFrames(CrateFixture& f, size_t count, uint32_t timeoutMs = 1000) {
    Bytes line;
    size_t ended = 0;
    bool inFrame = false;
    while (ended < count) {
        uint8_t b = 0;
        bool ok = false;
        if (f.crate->read(f.slot, &b, 1, timeoutMs, ok) != 1) break;
        line.push_back(b);
        if (b == 0xC0 && inFrame) ++ended;
        inFrame = b != 0xC0;
    }
    return line;
}

inline Bytes send(CrateFixture& f, const Bytes& lineBytes) {
    f.crate->write(f.slot, lineBytes.data(), lineBytes.size());
    return readFrames(f, 1);
}

}  // namespace snmpwire
