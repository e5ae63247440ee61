#include "canfw/log_text.h"

namespace vz {

std::string hexDump(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(2 * count);
    for (size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

}  // namespace vz
