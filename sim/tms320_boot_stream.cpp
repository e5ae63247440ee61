#include "sim/tms320_boot_stream.h"

namespace vsim {
namespace {

constexpr uint8_t kKeyLow = 0xAA;
constexpr uint8_t kKeyHigh = 0x08;  // 0x08AA: the 8-bit stream
constexpr size_t kReservedBytes = 16;

}  // namespace

uint32_t Tms320BootStream::halvesHighFirst(const uint8_t* b) {
    return (static_cast<uint32_t>(b[0]) << 16) | (static_cast<uint32_t>(b[1]) << 24) |
           static_cast<uint32_t>(b[2]) | (static_cast<uint32_t>(b[3]) << 8);
}

Tms320BootStream::Result Tms320BootStream::finish() {
    stage_ = Stage::Done;
    if (blocks_.empty()) return Result::Invalid;
    for (const Block& b : blocks_)
        if (entry_ >= b.address && entry_ - b.address < b.words) return Result::Complete;
    return Result::Invalid;
}

Tms320BootStream::Result Tms320BootStream::push(uint8_t byte) {
    switch (stage_) {
        case Stage::Key:
            field_[got_++] = byte;
            if (got_ < 2) return Result::More;
            got_ = 0;
            if (field_[0] != kKeyLow || field_[1] != kKeyHigh) {
                stage_ = Stage::Done;
                return Result::Invalid;
            }
            stage_ = Stage::Reserved;
            return Result::More;
        case Stage::Reserved:
            if (++got_ == kReservedBytes) {
                got_ = 0;
                stage_ = Stage::Entry;
            }
            return Result::More;
        case Stage::Entry:
            field_[got_++] = byte;
            if (got_ < 4) return Result::More;
            got_ = 0;
            entry_ = halvesHighFirst(field_);
            stage_ = Stage::BlockSize;
            return Result::More;
        case Stage::BlockSize:
            field_[got_++] = byte;
            if (got_ < 2) return Result::More;
            got_ = 0;
            blockSize_ = static_cast<uint32_t>(field_[0] | (field_[1] << 8));
            if (blockSize_ == 0) return finish();
            stage_ = Stage::BlockAddress;
            return Result::More;
        case Stage::BlockAddress:
            field_[got_++] = byte;
            if (got_ < 4) return Result::More;
            got_ = 0;
            blockAddress_ = halvesHighFirst(field_);
            blocks_.push_back({blockAddress_, blockSize_});
            dataBytes_ = 0;
            stage_ = Stage::Data;
            return Result::More;
        case Stage::Data: {
            field_[dataBytes_ % 2] = byte;
            ++dataBytes_;
            if (dataBytes_ % 2 == 0)
                words_[blockAddress_ + dataBytes_ / 2 - 1] =
                    static_cast<uint16_t>(field_[0] | (field_[1] << 8));
            if (dataBytes_ == 2 * blockSize_) stage_ = Stage::BlockSize;
            return Result::More;
        }
        case Stage::Done:
            break;
    }
    return Result::Invalid;
}

}  // namespace vsim
