#include "sim/ber.h"

namespace vsim {

std::optional<BerElement> BerReader::next() {
    if (failed_ || pos_ >= size_) return std::nullopt;
    failed_ = true;  // until the element proves whole
    if (size_ - pos_ < 2) return std::nullopt;
    BerElement e;
    e.tag = data_[pos_++];
    if ((e.tag & 0x1F) == 0x1F) return std::nullopt;
    const uint8_t first = data_[pos_++];
    size_t length = first;
    if (first & 0x80) {
        const size_t n = first & 0x7F;
        if (n == 0 || n > 4 || size_ - pos_ < n) return std::nullopt;
        length = 0;
        for (size_t i = 0; i < n; ++i) length = (length << 8) | data_[pos_++];
    }
    if (length > size_ - pos_) return std::nullopt;
    e.data = data_ + pos_;
    e.length = length;
    pos_ += length;
    failed_ = false;
    return e;
}

std::optional<BerElement> BerReader::next(uint8_t tag) {
    auto e = next();
    if (e && e->tag != tag) {
        failed_ = true;
        return std::nullopt;
    }
    return e;
}

std::optional<int32_t> berInteger(const BerElement& e) {
    if (e.tag != 0x02 || e.length < 1 || e.length > 4) return std::nullopt;
    uint32_t v = (e.data[0] & 0x80) ? 0xFFFFFFFFu : 0u;
    for (size_t i = 0; i < e.length; ++i) v = (v << 8) | e.data[i];
    return static_cast<int32_t>(v);
}

std::vector<uint8_t> berElement(uint8_t tag, const std::vector<uint8_t>& contents) {
    std::vector<uint8_t> out{tag};
    const size_t n = contents.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 0x100) {
        out.push_back(0x81);
        out.push_back(static_cast<uint8_t>(n));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(n));
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

std::vector<uint8_t> berIntegerElement(int32_t value) {
    std::vector<uint8_t> bytes;
    int64_t v = value;
    // Drop leading bytes as long as the next one still carries the sign.
    for (int shift = 24; shift > 0; shift -= 8) {
        const int64_t rest = v >> (shift - 1);
        if (rest != 0 && rest != -1) {
            for (int s = shift; s >= 0; s -= 8) bytes.push_back(static_cast<uint8_t>(v >> s));
            return berElement(0x02, bytes);
        }
    }
    return berElement(0x02, {static_cast<uint8_t>(v)});
}

}  // namespace vsim
