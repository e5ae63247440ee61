#pragma once
// The I/O test block of a JOVA board at 0xF000: which pins the test takes over (extMask), which of
// those it drives (outMask), the latches it drives them with (latchMask), and the pin levels it reads
// back (pinState). Driven pins show their latch; the other pins under test show what the test fixture
// applies to them (the scenario's "jovaInputs").
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsim {

class JovaIo {
  public:
    static constexpr uint32_t kBase = 0xF000;
    static constexpr uint32_t kSize = 64;
    static constexpr uint32_t kPins = 0x3FFFF;  // the board's eighteen test pins
    // The board's answer to a write it took: the I/O test counts 4 as success.
    static constexpr uint16_t kWriteDone = 4;

    explicit JovaIo(uint32_t fixtureInputs) : inputs_(fixtureInputs) {}

    // Offset within the block; bytes past the four words read as zero.
    std::vector<uint8_t> read(uint32_t offset, std::size_t length) const;
    // One word at offset 0 (extMask), 8 (outMask) or 24 (latchMask); any other write is refused
    // with a non-zero code and changes nothing.
    uint16_t write(uint32_t offset, const std::vector<uint8_t>& data);

    uint32_t pinState() const;
    uint32_t extMask() const { return ext_; }
    uint32_t outMask() const { return out_; }
    uint32_t latchMask() const { return latch_; }

  private:
    uint32_t inputs_;
    uint32_t ext_ = 0, out_ = 0, latch_ = 0;
};

}  // namespace vsim
