#include "channel/parameter_command.h"

#include "base/debug_log.h"
#include "base/message_boxes.h"
#include "channel/channel_classes.h"
#include "link/module_access.h"

namespace vz {

bool commandParameter(uint16_t moduleAddress, uint32_t base, uint32_t offset, const void* data, int length,
                      const char* name) {
    if (moduleAddress > MODULE::kLastChannel) {
        debugLog(kLogError, "%s: channel has no module address (%u), nothing sent", name, moduleAddress);
        return false;
    }
    const int result = moduleCommand(moduleAddressByte(moduleAddress), base, offset, data, length);
    if (result == 0) return true;
    moduleRefusalBox(name, result);
    return false;
}

}  // namespace vz
