#pragma once
// SLIP framing (RFC 1055) of the IP packets on the serial line: the encoder, and the receive state
// that lives as long as the program, so a frame cut by a time-out is continued by the next read.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vz {

constexpr uint8_t kSlipEnd = 0xC0;
constexpr uint8_t kSlipEsc = 0xDB;
constexpr uint8_t kSlipEscEnd = 0xDC;
constexpr uint8_t kSlipEscEsc = 0xDD;

// Encodes the bytes and appends one END (none in front). `out` holds at least 2 * length + 1 bytes.
size_t slipEncode(const uint8_t* bytes, size_t length, uint8_t* out);

class SlipDecoder {
  public:
    static constexpr size_t kMaxFrame = 2047;

    // Takes bytes up to and including the first END that completes a frame and returns true there;
    // the caller drops the bytes after it. False when the bytes ran out inside a frame.
    bool feed(const uint8_t* bytes, size_t length);
    // The frame completed by the last feed that returned true; valid until the next feed.
    const uint8_t* frame() const { return buffer_.data(); }
    size_t frameSize() const { return completed_; }
    void reset();

  private:
    void store(uint8_t byte) {
        // A frame keeps its first kMaxFrame bytes; the rest up to its END is lost.
        if (fill_ < kMaxFrame) buffer_[fill_++] = byte;
    }

    std::array<uint8_t, kMaxFrame + 1> buffer_{};
    size_t fill_ = 0;
    size_t completed_ = 0;
    bool escape_ = false;
};

}  // namespace vz
