#include "sim/tms320_flash_image.h"

namespace vsim {
namespace {

constexpr uint32_t kFirmwareSize = 0x1C000;  // words in the firmware area
constexpr uint32_t kCodeWords = 0x400;       // the factory firmware's length in sector J

}  // namespace

void writeVersionBlock(Tms320Flash& flash, uint32_t address, const std::string& text) {
    std::string padded = text.substr(0, 16);
    padded.resize(16, ' ');
    const bool firmware = address == Tms320Flash::kFirmwareVersionBlock;
    for (uint32_t i = 0; i < 7; ++i)
        if (!firmware || i < 2 || i > 4) flash.set(address + i, 0);
    flash.set(address + 7, Tms320Flash::kVersionMark);
    for (uint32_t i = 0; i < 8; ++i) {
        const auto lo = static_cast<uint8_t>(padded[2 * i]);
        const auto hi = static_cast<uint8_t>(padded[2 * i + 1]);
        flash.set(address + 8 + i, static_cast<uint16_t>(lo | (hi << 8)));
    }
}

void sealFirmware(Tms320Flash& flash) {
    flash.set(Tms320Flash::kFirmwareSizeLow, static_cast<uint16_t>(kFirmwareSize & 0xFFFF));
    flash.set(Tms320Flash::kFirmwareSizeHigh, static_cast<uint16_t>(kFirmwareSize >> 16));
    flash.set(Tms320Flash::kFirmwareChecksum, 0);
    const uint16_t rest = flash.sum(Tms320Flash::kBase, Tms320Flash::kFirmwareEnd - Tms320Flash::kBase);
    flash.set(Tms320Flash::kFirmwareChecksum, static_cast<uint16_t>(1 - rest));
}

void writeFactoryImage(Tms320Flash& flash, const Tms320Def& def) {
    flash.erase(0x3FF);
    if (def.blank) return;
    // Stand-in code: varied words, so that a partly failed write or erase shows in the checksum.
    uint32_t state = 0x2812;
    for (uint32_t i = 0; i < kCodeWords; ++i) {
        state = state * 1103515245u + 12345u;
        flash.set(Tms320Flash::kBase + i, static_cast<uint16_t>(state >> 16));
    }
    writeVersionBlock(flash, Tms320Flash::kFirmwareVersionBlock, def.firmwareText);
    sealFirmware(flash);
    if (!def.bootloaderText.empty())
        writeVersionBlock(flash, Tms320Flash::kBootloaderVersionBlock, def.bootloaderText);
}

}  // namespace vsim
