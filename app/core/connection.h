#pragma once
// The connection sequence: open the bridge, probe SNMP, fix the channel limit by controller type,
// bind the module access operations, search the modules.
#include <cstdint>
#include <functional>
#include <string>

namespace vz {

// Sets typeChannelLimit and adds the option bits of the controller type.
void applyControllerLimits(uint32_t& flags);

// What the connection sequence is doing, for a front end that shows progress while it runs:
// "probing SNMP, attempt 2 of 11", "3 found, testing 42", "8 found, reading 5".
struct ConnectionProgress {
    std::string text;
    int step;
    int steps;
};
using ConnectionProgressFn = std::function<void(const ConnectionProgress&)>;

// False ends the program. The caller starts the polling timer afterwards. The search progress goes
// to the window title and, when given, to progress.
bool connectController(uint32_t& flags, const ConnectionProgressFn& progress = {});

}  // namespace vz
