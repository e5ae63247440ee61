#pragma once
// The module search at start-up: which channel addresses carry a module, and what kind it is.
#include <cstdint>
#include <functional>

namespace vz {

// The kind of a module by the start of its firmware text.
uint32_t moduleKindForFirmware(const char* firmwareText);

// Where the search stands: told before each address is tried and before each found module is read.
struct DiscoveryProgress {
    bool identifying;  // false: testing addresses; true: reading the modules found
    int found;         // modules found so far
    int index;         // the address being tested, or the channel being read
    int step;          // steps done in this phase
    int steps;         // steps of this phase
};
using DiscoveryProgressFn = std::function<void(const DiscoveryProgress&)>;

// The number of channels found, or -1 when the operator chose Abort.
int discoverModules(const DiscoveryProgressFn& progress = {});

}  // namespace vz
