#pragma once
// The module search at start-up: which channel addresses carry a module, and what kind it is.
#include <cstdint>

namespace vz {

// The kind of a module by the start of its firmware text.
uint32_t moduleKindForFirmware(const char* firmwareText);

// The number of channels found, or -1 when the operator chose Abort.
int discoverModules();

}  // namespace vz
