#include "sim/slip.h"

namespace vsim {

std::vector<uint8_t> slipEncode(const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> out;
    out.reserve(packet.size() + packet.size() / 8 + 1);
    for (uint8_t b : packet) {
        if (b == kSlipEnd) {
            out.push_back(kSlipEsc);
            out.push_back(kSlipEscEnd);
        } else if (b == kSlipEsc) {
            out.push_back(kSlipEsc);
            out.push_back(kSlipEscEsc);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kSlipEnd);
    return out;
}

void SlipDecoder::reset() {
    frame_.clear();
    escape_ = overflow_ = complete_ = false;
}

SlipDecoder::Result SlipDecoder::push(uint8_t byte) {
    if (complete_) reset();
    if (byte == kSlipEnd) {
        // An END always ends the frame, even right after an ESC, so a cut escape never glues two
        // frames together.
        const bool broken = escape_ || overflow_;
        const bool empty = frame_.empty() && !broken;
        escape_ = overflow_ = false;
        if (empty) return Result::Empty;
        complete_ = true;
        return broken ? Result::Broken : Result::Frame;
    }
    if (byte == kSlipEsc && !escape_) {
        escape_ = true;
        return Result::Pending;
    }
    if (escape_) {
        // Any other byte after an ESC is a protocol error; RFC 1055 keeps it as it is.
        if (byte == kSlipEscEnd)
            byte = kSlipEnd;
        else if (byte == kSlipEscEsc)
            byte = kSlipEsc;
        escape_ = false;
    }
    if (frame_.size() < maxFrame_)
        frame_.push_back(byte);
    else
        overflow_ = true;
    return Result::Pending;
}

}  // namespace vsim
