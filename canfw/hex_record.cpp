#include "canfw/hex_record.h"

#include "base/text_format.h"
#include "canfw/log_text.h"

namespace vz {
namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<HexRecord> parseHexLine(const std::string& line) {
    if (line.size() < 5 || line.size() % 2 == 0 || line[0] != ':') return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < line.size(); i += 2) {
        const int hi = nibble(line[i]), lo = nibble(line[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) return std::nullopt;
    HexRecord r;
    r.byteCount = bytes[0];
    r.address = bytes.size() >= 3 ? static_cast<uint32_t>(bytes[1] << 8 | bytes[2]) : 0;
    r.type = bytes.size() >= 4 ? bytes[3] : -1;
    if (line.size() > 11) r.dataText = line.substr(9, line.size() - 11);
    return r;
}

std::string formatHexRecord(int type, uint32_t address, const uint8_t* data, size_t count) {
    uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + address + type);
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    return formatText(kLineLimit, ":%02X%04X%02X", static_cast<unsigned>(count), address & 0xFFFF, type) +
           hexDump(data, count) + formatText(kLineLimit, "%02X", static_cast<uint8_t>(-sum) & 0xFF);
}

}  // namespace vz
