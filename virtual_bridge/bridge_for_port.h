#pragma once
// The bridge a run uses, chosen by the application at start-up from the port argument: the USB
// bridges' driver, or the virtual crate behind its own bridge driver.
#include <memory>
#include <string>

#include "link/bridge.h"

namespace vz {

// "SIM" is the built-in virtual crate, "SIM:fresh" the same crate from its pristine state,
// "SIM:<file>" a scenario file, anything else the USB bridges. A virtual crate keeps its state in its
// state file (virtual_bridge/crate_state_file.h). On failure returns nullptr and an error text (a
// scenario or state file that is refused, or a state in use).
std::unique_ptr<BridgeLibrary> makeBridgeForPort(const std::string& port, std::string& error);

}  // namespace vz
