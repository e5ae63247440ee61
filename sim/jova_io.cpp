#include "sim/jova_io.h"

namespace vsim {

uint32_t JovaIo::pinState() const {
    return ext_ & kPins & ((out_ & latch_) | (~out_ & inputs_));
}

std::vector<uint8_t> JovaIo::read(uint32_t offset, std::size_t length) const {
    const uint32_t words[4] = {ext_, out_, pinState(), latch_};
    uint8_t block[kSize] = {};
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b) block[8 * w + b] = static_cast<uint8_t>(words[w] >> (8 * b));
    std::vector<uint8_t> out(length, 0);
    for (std::size_t i = 0; i < length; ++i)
        if (offset + i < kSize) out[i] = block[offset + i];
    return out;
}

uint16_t JovaIo::write(uint32_t offset, const std::vector<uint8_t>& data) {
    if (data.size() != 4) return 2;
    const uint32_t value = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                           (static_cast<uint32_t>(data[3]) << 24);
    switch (offset) {
        case 0:
            ext_ = value;
            break;
        case 8:
            out_ = value;
            break;
        case 24:
            latch_ = value;
            break;
        default:
            return 1;
    }
    return kWriteDone;
}

}  // namespace vsim
