#include "channel/controller_config.h"

#include <cstdio>

#include "base/settings.h"
#include "link/module_access.h"

namespace vz {

uint32_t controllerConfigWordAddress(int channelLimit) {
    switch (channelLimit) {
        case 12:
        case 60:
            return 0x9420;
        case 16:
        case 127:
            return 0x9580;
        default:
            return 0;
    }
}

bool readControllerConfig(ControllerConfig& config) {
    const uint32_t address = controllerConfigWordAddress(crateSettings().typeChannelLimit);
    if (address == 0) return false;
    const int n = moduleReadWords(kControllerAddress, address, config.bytes.data(),
                                  static_cast<int>(config.bytes.size()));
    return n == static_cast<int>(config.bytes.size());
}

void normalizeControllerConfig(ControllerConfig& config) {
    uint16_t eth = config.ethernetFlags();
    if (eth & ethernet::kAutoNegotiation)
        eth &= static_cast<uint16_t>(~(ethernet::kSpeed100M | ethernet::kFullDuplex));
    config.setEthernetFlags(eth);
    uint16_t options = config.optionFlags();
    if (options & option::kFastPfDetection) options &= static_cast<uint16_t>(~option::kIgnoreIoInputForPf);
    config.setOptionFlags(options);
}

bool writeControllerConfig(ControllerConfig config) {
    const uint32_t address = controllerConfigWordAddress(crateSettings().typeChannelLimit);
    if (address == 0) return false;
    normalizeControllerConfig(config);
    const int n = moduleWriteWords(kControllerAddress, address, config.bytes.data(),
                                   static_cast<int>(config.bytes.size()));
    return n == static_cast<int>(config.bytes.size());
}

void ipAddressText(uint32_t value, char* text, std::size_t size) {
    std::snprintf(text, size, "%u.%u.%u.%u", value >> 24, (value >> 16) & 0xFF, (value >> 8) & 0xFF,
                  value & 0xFF);
}

}  // namespace vz
