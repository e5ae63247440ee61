#pragma once
// One parameter write to a module: the command that every setter sends, and the box that reports a
// refusal.
#include <cstdint>

namespace vz {

// Sends length bytes to base + offset of the channel's module. True when the module answered 0.
// Otherwise errno is set to the result (the module's code, or -1 when no result came back) and
// lastErrorBox shows "<name>: Error Code 0x<result>". A channel without a module address sends
// nothing: a write to the controller's own memory must never happen by accident.
bool commandParameter(uint16_t moduleAddress, uint32_t base, uint32_t offset, const void* data, int length,
                      const char* name);

}  // namespace vz
