#include "sim/line_demux.h"

#include "sim/module_access_frame.h"

namespace vsim {
namespace {
constexpr uint8_t kIpv4Start = 0x45;
}

std::vector<LineItem> LineDemux::push(uint8_t byte, int64_t timeUs) {
    std::vector<LineItem> out;
    if (state_ != State::Idle && timeUs - lastUs_ > gapUs) {
        if (state_ != State::FirstByte || first_ != kSlipEnd) ++dropped_;
        state_ = State::Idle;
        direct_.clear();
        slip_.reset();
    }
    lastUs_ = timeUs;
    feed(byte, out);
    return out;
}

void LineDemux::feed(uint8_t byte, std::vector<LineItem>& out) {
    switch (state_) {
        case State::Idle:
            first_ = byte;
            state_ = State::FirstByte;
            return;
        case State::FirstByte:
            if (first_ == kIpv4Start && byte == 0x00) {
                state_ = State::Slip;
                slip_.reset();
                slip_.push(first_);
                slip_.push(byte);
                return;
            }
            if (first_ == kSlipEnd && (byte == kSlipEnd || byte == kIpv4Start)) {
                first_ = byte;  // that was an END between frames
                return;
            }
            state_ = State::Direct;
            direct_ = {first_};
            directByte(byte, out);
            return;
        case State::Direct:
            directByte(byte, out);
            return;
        case State::Slip:
            switch (slip_.push(byte)) {
                case SlipDecoder::Result::Frame:
                    out.push_back({true, slip_.frame()});
                    state_ = State::Idle;
                    break;
                case SlipDecoder::Result::Broken:
                    ++dropped_;
                    state_ = State::Idle;
                    break;
                case SlipDecoder::Result::Empty:
                case SlipDecoder::Result::Pending:
                    break;
            }
            return;
    }
}

void LineDemux::directByte(uint8_t byte, std::vector<LineItem>& out) {
    direct_.push_back(byte);
    if (direct_.size() < requestSize(direct_[1])) return;
    state_ = State::Idle;
    if (checkByte(direct_.data(), direct_.size()) == 0) {
        out.push_back({false, std::move(direct_)});
        direct_.clear();
        return;
    }
    ++dropped_;
    // Not a frame after all: look for the start of one in what came after its first byte.
    const std::vector<uint8_t> rest(direct_.begin() + 1, direct_.end());
    direct_.clear();
    for (uint8_t b : rest) feed(b, out);
}

}  // namespace vsim
