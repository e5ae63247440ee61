#include "base/polling_state.h"

namespace vz {

std::atomic<bool> pollingStopped{false};
std::atomic<bool> pollingEnabled{true};

}  // namespace vz
