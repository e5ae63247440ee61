#include "link/bridge.h"
#include "link/link_state.h"

namespace vz {

BridgeLibrary* bridge() {
    return linkState().bridge;
}
void setBridge(BridgeLibrary* library) {
    linkState().bridge = library;
}

}  // namespace vz
