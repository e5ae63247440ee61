#include "channel/measurement_block.h"

#include <cstdint>

#include "base/settings.h"
#include "channel/module_memory_map.h"
#include "link/module_access.h"

namespace vz {

int readMeasurementBlock(int channel, int block, void* destination) {
    int r;
    if (crateSettings().fCmdLine & kMeasureFromModules)
        r = readShort(moduleAddressByte(channel), static_cast<uint8_t>(4 + block), destination, 8);
    else
        r = moduleReadWords(kControllerAddress, cacheWordAddress(kCacheMeasureWord, channel) + 4 * block,
                            destination, 8);
    if (r == 8) return 0;
    if (block == 0 && r == -2) return 1053;
    return 30;
}

}  // namespace vz
