#include "sim/tms320_flash_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace vsim {

bool loadFlashFile(Tms320Flash& flash, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != 2 * size_t{Tms320Flash::kWords}) return false;
    for (uint32_t i = 0; i < Tms320Flash::kWords; ++i) {
        const auto lo = static_cast<uint8_t>(bytes[2 * i]);
        const auto hi = static_cast<uint8_t>(bytes[2 * i + 1]);
        flash.set(Tms320Flash::kBase + i, static_cast<uint16_t>(lo | (hi << 8)));
    }
    return true;
}

bool saveFlashFile(const Tms320Flash& flash, const std::string& path) {
    std::vector<char> bytes(2 * size_t{Tms320Flash::kWords});
    for (uint32_t i = 0; i < Tms320Flash::kWords; ++i) {
        const uint16_t w = flash.read(Tms320Flash::kBase + i);
        bytes[2 * i] = static_cast<char>(w & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(w >> 8);
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace vsim
