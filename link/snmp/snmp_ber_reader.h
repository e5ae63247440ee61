#pragma once
// Bounds-checked BER reading of an SNMP response: every read fails instead of passing the end of
// the datagram, so a malformed response is dropped and never read out of bounds.
#include <cstddef>
#include <cstdint>

namespace vz {

class BerReader {
  public:
    BerReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

    size_t remaining() const { return size_ - position_; }
    bool peek(uint8_t& byte) const;
    bool readByte(uint8_t& byte);
    // Valid when the announced bytes are present; the long form with n bytes (high first) is accepted.
    bool readLength(size_t& length);
    // Tag and length of an element whose contents the caller reads next.
    bool enter(uint8_t tag, size_t& length);
    // A well-formed INTEGER of 1 to 8 content bytes.
    bool readInteger(int64_t& value);
    bool skip(size_t count);
    const uint8_t* current() const { return bytes_ + position_; }

  private:
    const uint8_t* bytes_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace vz
