#include "link/snmp/snmp_ber_encoder.h"

namespace vz {

namespace {
constexpr uint8_t kTagInteger = 0x02;
constexpr uint8_t kTagOctetString = 0x04;
constexpr uint8_t kTagNull = 0x05;
constexpr uint8_t kTagOid = 0x06;
}  // namespace

void BerEncoder::putByte(uint8_t byte) {
    if (position_ == 0) {
        overflow_ = true;
        return;
    }
    buffer_[--position_] = byte;
}

void BerEncoder::putBytes(const uint8_t* bytes, size_t length) {
    for (size_t i = length; i > 0; --i) putByte(bytes[i - 1]);
}

void BerEncoder::putLength(size_t length) {
    if (length < 128) {
        putByte(static_cast<uint8_t>(length));
    } else if (length < 256) {
        putByte(static_cast<uint8_t>(length));
        putByte(0x81);
    } else {
        putByte(static_cast<uint8_t>(length));
        putByte(static_cast<uint8_t>(length >> 8));
        putByte(0x82);
    }
}

void BerEncoder::putInteger(int64_t value) {
    const size_t end = size();
    for (;;) {
        const auto low = static_cast<uint8_t>(value & 0xFF);
        putByte(low);
        value >>= 8;  // arithmetic: the sign stays
        // Done when the bytes written so far already read back as the value, sign included.
        if ((value == 0 && !(low & 0x80)) || (value == -1 && (low & 0x80))) break;
    }
    putLength(size() - end);
    putByte(kTagInteger);
}

void BerEncoder::putOid(const uint8_t* contents, size_t size, uint16_t subIdentifier) {
    // Base-128 groups, the last one without and every earlier one with bit 7.
    size_t groups = 0;
    uint32_t rest = subIdentifier;
    do {
        putByte(static_cast<uint8_t>((rest & 0x7F) | (groups ? 0x80 : 0)));
        rest >>= 7;
        ++groups;
    } while (rest != 0);
    putBytes(contents, size);
    putByte(static_cast<uint8_t>(size + groups));
    putByte(kTagOid);
}

void BerEncoder::putNull() {
    putByte(0x00);
    putByte(kTagNull);
}

void BerEncoder::putOctetString(const uint8_t* bytes, size_t length) {
    putBytes(bytes, length);
    putLength(length);
    putByte(kTagOctetString);
}

void BerEncoder::close(uint8_t tag) {
    putLength(size());
    putByte(tag);
}

}  // namespace vz
