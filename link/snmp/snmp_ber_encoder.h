#pragma once
// BER encoder for the SNMP requests. It writes backwards into a fixed buffer: every element is put
// in front of what is already there, so a container's length is known when it is closed and no
// length has to be guessed in advance.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vz {

class BerEncoder {
  public:
    static constexpr size_t kCapacity = 512;

    void reset() {
        position_ = kCapacity;
        overflow_ = false;
    }
    void putByte(uint8_t byte);
    void putBytes(const uint8_t* bytes, size_t length);
    // Short form below 128, 81 xx below 256, 82 xx xx above.
    void putLength(size_t length);
    // Shortest two's-complement big-endian form.
    void putInteger(int64_t value);
    // The stored contents of an OID followed by one appended sub-identifier.
    void putOid(const uint8_t* contents, size_t size, uint16_t subIdentifier);
    void putNull();
    void putOctetString(const uint8_t* bytes, size_t length);
    // Closes a container around everything written so far.
    void close(uint8_t tag);

    const uint8_t* data() const { return buffer_.data() + position_; }
    size_t size() const { return kCapacity - position_; }
    // True when something did not fit; the message is then incomplete and must not be sent.
    bool overflowed() const { return overflow_; }

  private:
    std::array<uint8_t, kCapacity> buffer_{};
    size_t position_ = kCapacity;
    bool overflow_ = false;
};

}  // namespace vz
