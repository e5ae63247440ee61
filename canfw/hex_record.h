#pragma once
// One Intel HEX record line: ':' LL AAAA TT data CC, the checksum making all bytes sum to 0.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vz {

struct HexRecord {
    int byteCount = 0;
    uint32_t address = 0;
    int type = 0;
    std::string dataText;  // the hexadecimal characters between type and checksum
};

// Odd length of at least 5, ':' first, hexadecimal digits, and a checksum that holds.
std::optional<HexRecord> parseHexLine(const std::string& line);
// ":%02X%04X%02X" data "%02X" checksum, without a line end.
std::string formatHexRecord(int type, uint32_t address, const uint8_t* data, size_t count);

}  // namespace vz
