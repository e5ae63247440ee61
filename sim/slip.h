#pragma once
// SLIP framing (RFC 1055) of IP packets on the controller's serial line.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsim {

inline constexpr uint8_t kSlipEnd = 0xC0;
inline constexpr uint8_t kSlipEsc = 0xDB;
inline constexpr uint8_t kSlipEscEnd = 0xDC;
inline constexpr uint8_t kSlipEscEsc = 0xDD;

// The packet with END and ESC escaped and one END behind it.
std::vector<uint8_t> slipEncode(const std::vector<uint8_t>& packet);

// Collects one frame at a time from the line bytes.
class SlipDecoder {
  public:
    enum class Result {
        Pending,  // the frame goes on
        Empty,    // an END with nothing before it
        Frame,    // an END closed a frame: frame() holds it
        Broken,   // an END closed a frame that cannot be trusted: it was cut inside an escape or too long
    };

    explicit SlipDecoder(size_t maxFrame = 2048) : maxFrame_(maxFrame) {}

    Result push(uint8_t byte);
    // The frame the last push completed; the next push starts a new one.
    const std::vector<uint8_t>& frame() const { return frame_; }
    void reset();

  private:
    size_t maxFrame_;
    std::vector<uint8_t> frame_;
    bool escape_ = false;
    bool overflow_ = false;
    bool complete_ = false;
};

}  // namespace vsim
