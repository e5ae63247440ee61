#pragma once
// One parameter write to a module: the command that every setter sends, and the box that reports a
// refusal.
#include <cstdint>

namespace vz {

// Sends length bytes to base + offset of the channel's module. True when the module answered 0.
// Otherwise a box "<name>: Error Code 0x<result>" says that the module refused the value (its code)
// or did not answer (-1). A channel without a module address sends
// nothing: a write to the controller's own memory must never happen by accident.
bool commandParameter(uint16_t moduleAddress, uint32_t base, uint32_t offset, const void* data, int length,
                      const char* name);

}  // namespace vz
