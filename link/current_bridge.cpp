#include "link/bridge.h"

namespace vz {

namespace {
BridgeLibrary* currentBridge = nullptr;
}

BridgeLibrary* bridge() {
    return currentBridge;
}
void setBridge(BridgeLibrary* library) {
    currentBridge = library;
}

}  // namespace vz
