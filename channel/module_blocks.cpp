// Whole-block reads of a channel's firmware, system and user records, from the module itself or,
// under -x, from the controller's cache.
#include <cstring>

#include "base/debug_log.h"
#include "base/settings.h"
#include "channel/channel_classes.h"
#include "channel/module_memory_map.h"
#include "link/module_access.h"

namespace vz {
namespace {

bool fromCache() {
    return (crateSettings().fCmdLine & kConfigFromCache) != 0;
}

int readBlock(const MODULE& module, const char* what, uint32_t base, uint32_t cacheFirstWord, void* record,
              int length) {
    if (!module.hasModuleAddress()) {
        debugLog(kLogError, "%s: channel has no module address (%u), nothing read", what,
                 module.moduleAddress);
        return kBlockReadFailed;
    }
    int received;
    if (fromCache()) {
        // The cache layout is known for the 12- and 16-channel controllers only; guessing one for the
        // others would fill the record with another channel's data.
        if (!cacheLayoutKnown(crateSettings().typeChannelLimit)) {
            debugLog(kLogError, "%s U%u: no controller cache layout for %d channels, not read", what,
                     module.moduleAddress, crateSettings().typeChannelLimit);
            return kBlockReadFailed;
        }
        received = moduleReadWords(kControllerAddress, cacheWordAddress(cacheFirstWord, module.moduleAddress),
                                   record, length);
    } else {
        received = moduleRead(module.addressByte(), base, 0, record, length);
    }
    return received == length ? 0 : kBlockReadFailed;
}

}  // namespace

int MODULE_SYSTEM_CONFIG::readFromModule() {
    MODULE_SYSTEM_CONFIG_DATA& record = *this;
    return readBlock(*this, "MODULE_SYSTEM_CONFIG", kSystemConfigBase, kCacheSystemConfigWord, &record,
                     sizeof record);
}

int MODULE_USER_CONFIG::readFromModule() {
    MODULE_USER_CONFIG_DATA& record = *this;
    return readBlock(*this, "MODULE_USER_CONFIG", kUserConfigBase, kCacheUserConfigWord, &record,
                     sizeof record);
}

int MODULE_FIRMWARE::readFromModule() {
    MODULE_FIRMWARE_DATA& record = *this;
    const int received =
        hasModuleAddress() ? moduleRead(addressByte(), kFirmwareBase, 0, &record, sizeof record) : -1;
    if (received == static_cast<int>(sizeof record)) return 0;
    std::strncpy(name, "! Read Error !", sizeof name);
    version = 0;
    return kBlockReadFailed;
}

}  // namespace vz
