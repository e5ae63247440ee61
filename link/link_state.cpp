#include "link/link_state.h"

#include "base/crate_binding.h"

namespace vz {

LinkState& linkState() {
    LinkState* link = boundCrate().link;
    if (!link) noCrateBound("link");
    return *link;
}

}  // namespace vz
