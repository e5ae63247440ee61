#include "base/polling_state.h"

#include "base/settings.h"

namespace vz {

// The pause ends on the crate it began on, whichever thread lets it go.
PollingPause::PollingPause() : settings_(crateSettings()) {
    ++settings_.pollingPauses;
}
PollingPause::~PollingPause() {
    --settings_.pollingPauses;
}

bool pollingStopped() {
    const CrateSettings& s = crateSettings();
    return s.pollingStoppedByOperator || s.pollingPauses > 0;
}

}  // namespace vz
