#include "link/snmp/slip.h"

namespace vz {

size_t slipEncode(const uint8_t* bytes, size_t length, uint8_t* out) {
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = bytes[i];
        if (b == kSlipEnd) {
            out[n++] = kSlipEsc;
            out[n++] = kSlipEscEnd;
        } else if (b == kSlipEsc) {
            out[n++] = kSlipEsc;
            out[n++] = kSlipEscEsc;
        } else {
            out[n++] = b;
        }
    }
    out[n++] = kSlipEnd;
    return n;
}

bool SlipDecoder::feed(const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const uint8_t b = bytes[i];
        if (escape_) {
            // A malformed escape keeps the byte as it is.
            store(b == kSlipEscEnd ? kSlipEnd : b == kSlipEscEsc ? kSlipEsc : b);
            escape_ = false;
        } else if (b == kSlipEsc) {
            escape_ = true;
        } else if (b == kSlipEnd) {
            if (fill_ == 0) continue;  // leading END or empty frame
            completed_ = fill_;
            fill_ = 0;
            return true;
        } else {
            store(b);
        }
    }
    return false;
}

void SlipDecoder::reset() {
    fill_ = completed_ = 0;
    escape_ = false;
}

}  // namespace vz
