#include "virtual_bridge/bridge_for_port.h"

#include "link/cp210x/cp210x_bridge.h"
#include "sim/virtual_crate.h"
#include "virtual_bridge/crate_state_file.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz {

std::unique_ptr<BridgeLibrary> makeBridgeForPort(const std::string& port, std::string& error) {
    std::unique_ptr<vsim::VirtualCrate> crate;
    // SIM:fresh is the built-in crate as it leaves the factory, keeping nothing (a scenario file
    // named "fresh" is given as SIM:./fresh).
    if (port == "SIM" || port == "SIM:fresh") {
        crate = vsim::VirtualCrate::fromDefault();
    } else if (port.rfind("SIM:", 0) == 0) {
        const std::string path = port.substr(4);
        crate = vsim::VirtualCrate::fromFile(path, error);
        if (!crate) {
            error = "Virtual crate scenario \"" + path + "\": " + error;
            return nullptr;
        }
    } else {
        // Any other port text names no device: the connection always goes over the USB bridges.
        return makeCp210xBridge();
    }
    // A virtual crate keeps its state between runs as a real one does, and one program at a time
    // has it open.
    const std::string statePath = simStatePathFor(port, *crate);
    std::unique_ptr<CrateStateFile> state;
    if (!statePath.empty()) {
        state = CrateStateFile::open(statePath, *crate, port, error);
        if (!state) return nullptr;
    }
    auto driver = std::make_unique<VirtualBridgeDriver>(std::move(crate));
    if (state) driver->keepStateIn(std::move(state));
    return driver;
}

}  // namespace vz
