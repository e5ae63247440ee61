#pragma once
// The few BER (X.690) elements SNMP needs: reading definite-length elements one after another,
// and writing them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vsim {

struct BerElement {
    uint8_t tag = 0;
    const uint8_t* data = nullptr;
    size_t length = 0;
};

// Walks the elements of one level. Multi-byte tags and indefinite lengths are not SNMP's and
// count as malformed, as does a length that runs past the end.
class BerReader {
  public:
    BerReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit BerReader(const BerElement& e) : data_(e.data), size_(e.length) {}

    // The next element, or nullopt when there is none or it is malformed (see failed()).
    std::optional<BerElement> next();
    // Like next(), but only an element with this tag.
    std::optional<BerElement> next(uint8_t tag);
    bool atEnd() const { return pos_ == size_; }
    bool failed() const { return failed_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// An INTEGER of 1 to 4 contents bytes (SNMP's Integer32), two's complement.
std::optional<int32_t> berInteger(const BerElement& e);

std::vector<uint8_t> berElement(uint8_t tag, const std::vector<uint8_t>& contents);
// The shortest two's-complement form.
std::vector<uint8_t> berIntegerElement(int32_t value);

}  // namespace vsim
