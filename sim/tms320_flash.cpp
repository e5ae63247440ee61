#include "sim/tms320_flash.h"

#include <algorithm>
#include <array>

namespace vsim {
namespace {

// Sector A lies at the top of the flash, J at the bottom.
constexpr std::array<Tms320Flash::Sector, Tms320Flash::kSectors> kSectorTable{{
    {0x3F6000, 0x2000},  // A
    {0x3F4000, 0x2000},  // B
    {0x3F0000, 0x4000},  // C
    {0x3EC000, 0x4000},  // D
    {0x3E8000, 0x4000},  // E
    {0x3E4000, 0x4000},  // F
    {0x3E0000, 0x4000},  // G
    {0x3DC000, 0x4000},  // H
    {0x3DA000, 0x2000},  // I
    {0x3D8000, 0x2000},  // J
}};

}  // namespace

Tms320Flash::Sector Tms320Flash::sector(int index) {
    return kSectorTable.at(static_cast<size_t>(index));
}

Tms320Flash::Tms320Flash() : words_(kWords, 0xFFFF) {}

bool Tms320Flash::containsRange(uint32_t address, uint32_t words) {
    return address >= kBase && address <= kBase + kWords && words <= kBase + kWords - address;
}

uint16_t Tms320Flash::read(uint32_t address) const {
    return contains(address) ? words_[address - kBase] : 0xFFFF;
}

void Tms320Flash::program(uint32_t address, uint16_t value) {
    if (contains(address)) words_[address - kBase] &= value;
    ++changes_;
}

void Tms320Flash::set(uint32_t address, uint16_t value) {
    if (contains(address)) words_[address - kBase] = value;
    ++changes_;
}

bool Tms320Flash::erase(uint16_t mask) {
    if (mask >> kSectors) return false;
    for (int k = 0; k < kSectors; ++k) {
        if (!(mask & (1u << k))) continue;
        const Sector s = kSectorTable[static_cast<size_t>(k)];
        std::fill_n(words_.begin() + (s.first - kBase), s.words, uint16_t{0xFFFF});
    }
    ++changes_;
    return true;
}

int Tms320Flash::sectorCount(uint16_t mask) {
    int n = 0;
    for (int k = 0; k < kSectors; ++k) n += (mask >> k) & 1;
    return n;
}

uint16_t Tms320Flash::sum(uint32_t address, uint32_t count) const {
    uint16_t s = 0;
    for (uint32_t i = 0; i < count; ++i) s = static_cast<uint16_t>(s + read(address + i));
    return s;
}

bool Tms320Flash::versionBlockValid(uint32_t address) const {
    return read(address + 7) == kVersionMark;
}

bool Tms320Flash::bootable() const {
    return versionBlockValid(kBootloaderVersionBlock) && sum(kBase, kFirmwareEnd - kBase) == 1;
}

}  // namespace vsim
