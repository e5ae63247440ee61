#include "ctrlfw/flash_sectors.h"

namespace vz {

uint16_t sectorsOfRange(uint32_t first, uint32_t last) {
    uint16_t mask = 0;
    for (int k = 0; k < kFlashSectorCount; ++k) {
        const FlashSector& s = kFlashSectors[k];
        if (first <= s.first + s.words - 1 && last >= s.first) mask = static_cast<uint16_t>(mask | (1u << k));
    }
    return mask;
}

std::string sectorNames(uint16_t mask) {
    std::string text;
    for (int k = 0; k < kFlashSectorCount;) {
        if (!(mask & (1u << k))) {
            ++k;
            continue;
        }
        int end = k;
        while (end + 1 < kFlashSectorCount && (mask & (1u << (end + 1)))) ++end;
        if (!text.empty()) text += ", ";
        text += kFlashSectors[k].letter;
        // Runs of three or more read as a range, as the firmware's C-J.
        if (end - k >= 2) {
            text += '-';
            text += kFlashSectors[end].letter;
        } else if (end > k) {
            text += ", ";
            text += kFlashSectors[end].letter;
        }
        k = end + 1;
    }
    return text.empty() ? "none" : text;
}

}  // namespace vz
