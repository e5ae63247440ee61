#include "link/snmp/snmp_ber_reader.h"

namespace vz {

bool BerReader::peek(uint8_t& byte) const {
    if (position_ >= size_) return false;
    byte = bytes_[position_];
    return true;
}

bool BerReader::readByte(uint8_t& byte) {
    if (!peek(byte)) return false;
    ++position_;
    return true;
}

bool BerReader::readLength(size_t& length) {
    uint8_t first = 0;
    if (!readByte(first)) return false;
    if (first < 0x80) {
        length = first;
    } else {
        size_t count = first & 0x7F;
        if (count == 0) return false;  // the indefinite form has no place in SNMP
        length = 0;
        while (count-- > 0) {
            uint8_t b = 0;
            if (!readByte(b)) return false;
            // Beyond this the length cannot be present in any datagram.
            if (length > (SIZE_MAX >> 9)) return false;
            length = length << 8 | b;
        }
    }
    return length <= remaining();
}

bool BerReader::enter(uint8_t tag, size_t& length) {
    uint8_t t = 0;
    return readByte(t) && t == tag && readLength(length);
}

bool BerReader::readInteger(int64_t& value) {
    size_t length = 0;
    if (!enter(0x02, length) || length == 0 || length > 8) return false;
    uint64_t v = (bytes_[position_] & 0x80) ? ~uint64_t{0} : 0;  // sign extension
    for (size_t i = 0; i < length; ++i) v = v << 8 | bytes_[position_++];
    value = static_cast<int64_t>(v);
    return true;
}

bool BerReader::skip(size_t count) {
    if (count > remaining()) return false;
    position_ += count;
    return true;
}

}  // namespace vz
