#include "link/bridge.h"
#include "link/cp210x/cp210x_bridge.h"
#include "link/virtual_bridge_driver.h"
#include "sim/virtual_crate.h"

namespace vz {

namespace {
BridgeLibrary* currentBridge = nullptr;
}

BridgeLibrary* bridge() { return currentBridge; }
void setBridge(BridgeLibrary* library) { currentBridge = library; }

std::unique_ptr<BridgeLibrary> makeBridgeForPort(const std::string& port, std::string& error) {
    if (port == "SIM") return std::make_unique<VirtualBridgeDriver>(vsim::VirtualCrate::fromDefault());
    if (port.rfind("SIM:", 0) == 0) {
        const std::string path = port.substr(4);
        auto crate = vsim::VirtualCrate::fromFile(path, error);
        if (!crate) {
            error = "Virtual crate scenario \"" + path + "\": " + error;
            return nullptr;
        }
        return std::make_unique<VirtualBridgeDriver>(std::move(crate));
    }
    // Any other port text names no device: the connection always goes over the USB bridges.
    return makeCp210xBridge();
}

}  // namespace vz
