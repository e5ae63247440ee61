#pragma once
// The F2811/F2812 flash sectors as the erase mask names them: bit 0 is sector A at the top of the
// flash (where the boot loader lives), bit 9 sector J at the bottom. C-J hold the firmware.
#include <cstdint>
#include <string>

namespace vz {

struct FlashSector {
    char letter;
    uint32_t first;  // processor word address
    uint32_t words;
};

constexpr int kFlashSectorCount = 10;
constexpr FlashSector kFlashSectors[kFlashSectorCount] = {
    {'A', 0x3F6000, 0x2000}, {'B', 0x3F4000, 0x2000}, {'C', 0x3F0000, 0x4000}, {'D', 0x3EC000, 0x4000},
    {'E', 0x3E8000, 0x4000}, {'F', 0x3E4000, 0x4000}, {'G', 0x3E0000, 0x4000}, {'H', 0x3DC000, 0x4000},
    {'I', 0x3DA000, 0x2000}, {'J', 0x3D8000, 0x2000},
};

// The mask bits of the sectors that words first..last (inclusive) touch.
uint16_t sectorsOfRange(uint32_t first, uint32_t last);
// "A, B" or "C-J"-style text ("none" for an empty mask), for the operator's log.
std::string sectorNames(uint16_t mask);

}  // namespace vz
