#include "channel/switch_commands.h"

#include "link/module_access.h"

namespace vz {

int sendSwitchCommand(uint8_t addressByte, uint16_t word) {
    const uint8_t data[2] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
    return writeShort(addressByte, 3, data, 2);
}

}  // namespace vz
