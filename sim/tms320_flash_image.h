#pragma once
// The flash contents a controller leaves the factory with: a little firmware, its version block,
// size and checksum, and the boot loader's version block. Built here, so no image file is needed.
#include <cstdint>
#include <string>

#include "sim/tms320_flash.h"
#include "sim/tms320_settings.h"

namespace vsim {

// Writes a version block: word 7 the mark, words 8..15 the text (blank-padded to 16 characters, low
// byte of each word first), the other words zero. Words 2..4 of the firmware's block are left alone:
// they hold the firmware size and checksum.
void writeVersionBlock(Tms320Flash& flash, uint32_t address, const std::string& text);
// Stores the firmware size and the checksum word that makes the firmware area sum to 1.
void sealFirmware(Tms320Flash& flash);
// Erases the flash, then writes the factory image unless the definition asks for a blank part.
void writeFactoryImage(Tms320Flash& flash, const Tms320Def& def);

}  // namespace vsim
