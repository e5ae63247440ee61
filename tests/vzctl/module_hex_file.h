#pragma once
// Small module firmware files for the vzctl tests, written as a firmware tool would: HEX-parameters,
// the reset GOTO and rows of code.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace vz::test {

struct ModuleHexParameter {
    uint16_t number;
    uint16_t type;   // 2 unsigned
    uint16_t value;  // two bytes, big-endian
};

inline std::string hexRecord(int type, uint16_t address, const std::vector<uint8_t>& data) {
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string line = head;
    unsigned sum = static_cast<unsigned>(data.size() + (address >> 8) + (address & 0xFF) + type);
    for (uint8_t b : data) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
        sum += b;
    }
    char check[3];
    std::snprintf(check, sizeof check, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + check;
}

// gotoTarget 0: no GOTO in the reset row. Rows firstRow to lastRow (32 instructions each) hold code
// derived from seed.
inline void writeModuleHex(const std::string& path, const std::vector<ModuleHexParameter>& parameters,
                           uint32_t gotoTarget, uint32_t firstRow, uint32_t lastRow, uint8_t seed) {
    std::ofstream out(path);
    for (const auto& p : parameters)
        out << hexRecord(0xD1, p.number,
                         {static_cast<uint8_t>(p.type >> 8), static_cast<uint8_t>(p.type), 0, 0,
                          static_cast<uint8_t>(p.value >> 8), static_cast<uint8_t>(p.value)})
            << "\n";
    out << hexRecord(4, 0, {0, 0}) << "\n";
    if (gotoTarget)
        out << hexRecord(0, 0,
                         {static_cast<uint8_t>(gotoTarget), static_cast<uint8_t>(gotoTarget >> 8), 0x04, 0,
                          static_cast<uint8_t>(gotoTarget >> 16), 0, 0, 0})
            << "\n";
    else
        out << hexRecord(0, 0, {0x11, 0x22, 0x33, 0}) << "\n";
    for (uint32_t row = firstRow; row <= lastRow; ++row)
        for (uint32_t a = row * 128; a < row * 128 + 128; a += 16) {
            std::vector<uint8_t> d;
            for (uint32_t k = 0; k < 16; ++k)
                d.push_back(k % 4 == 3 ? 0 : static_cast<uint8_t>(a + k + seed));
            out << hexRecord(0, static_cast<uint16_t>(a), d) << "\n";
        }
    out << ":00000001FF\n";
}

}  // namespace vz::test
