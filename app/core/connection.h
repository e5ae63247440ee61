#pragma once
// The connection sequence: open the bridge, probe SNMP, fix the channel limit by controller type,
// bind the module access operations, search the modules.
#include <cstdint>

namespace vz {

// Probes the controller's SNMP agent; 0 when it answered. Installed by the SNMP transport.
using SnmpProbeFn = int (*)(uint8_t* buffer, int size);
extern SnmpProbeFn snmpProber;
// Binds the SNMP variants of the five operations. Installed by the SNMP transport.
extern void (*bindSnmpOperations)();

// Sets typeChannelLimit and adds the option bits of the controller type.
void applyControllerLimits(uint32_t& flags);

// False ends the program. The caller starts the polling timer afterwards.
bool connectController(uint32_t& flags);

}  // namespace vz
