#pragma once
// The serial port the flash programming driver uses: the program's open USB bridge, its clock and its
// debug log. While the controller's processor sits in its boot loader the bridge runs 8N1 with short
// reads, so the driver's own deadlines decide how long it waits.
#include "prg/vzprg.h"

namespace vz {

// Read time-out while the driver owns the line: short, so that a silent processor costs the driver's
// deadlines and not the module access time-out.
constexpr uint32_t kBootLinkReadTimeoutMs = 10;

// A port record over the bridge in use (`bridge()`, `usbHandle`). Valid for the life of the program.
const PrgSerialPort& bridgeSerialPort();

}  // namespace vz
