#pragma once
// The virtual processor's flash kept in a file between runs, so that what one program run wrote is
// there for the next one (and for a test to inspect): 0x20000 words, little-endian.
#include <string>

#include "sim/tms320_flash.h"

namespace vsim {

// false (flash unchanged) when the file is missing or not exactly one flash image long.
bool loadFlashFile(Tms320Flash& flash, const std::string& path);
// Written to a temporary name and renamed; false when that failed.
bool saveFlashFile(const Tms320Flash& flash, const std::string& path);

}  // namespace vsim
