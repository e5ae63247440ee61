#include "base/polling_state.h"

namespace vz {

std::atomic<bool> pollingStoppedByOperator{false};
std::atomic<bool> pollingEnabled{true};

namespace {
std::atomic<int> pauses{0};
}  // namespace

PollingPause::PollingPause() {
    ++pauses;
}
PollingPause::~PollingPause() {
    --pauses;
}

bool pollingStopped() {
    return pollingStoppedByOperator || pauses > 0;
}

}  // namespace vz
