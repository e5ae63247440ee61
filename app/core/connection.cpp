#include "app/core/connection.h"

#include <algorithm>
#include <cstdio>

#include "app/core/title.h"
#include "base/command_ids.h"
#include "base/controller_type.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/module_discovery.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/snmp_client.h"
#include "link/snmp/snmp_operations.h"
#include "link/usb_link.h"

namespace vz {

namespace {
constexpr int kSnmpProbeAttempts = 11;
}  // namespace

void applyControllerLimits(uint32_t& flags) {
    switch (crateSettings().controllerType) {
        case kQx308:
            crateSettings().typeChannelLimit = crateSettings().snmpMode ? 60 : 12;
            if (crateSettings().snmpMode) flags |= kSearchModules | kMeasureFromModules;
            break;
        case kWdx:
            crateSettings().typeChannelLimit = 12;
            break;
        case kKrat:
            crateSettings().typeChannelLimit = 127;
            flags |= kSearchModules | kMeasureFromModules;
            break;
        default:
            crateSettings().typeChannelLimit = 0;
            break;
    }
}

bool connectController(uint32_t& flags, const ConnectionProgressFn& progress) {
    if (flags & kUseCan) {
        // No CAN transport exists: nothing is bound and every access is refused, so no channel is found.
        unbindOperations();
    } else {
        if (!usbOpen(linkState().usbInfo)) return false;
        if ((crateSettings().controllerType == kQx308 || crateSettings().controllerType == kKrat) &&
            !(flags & kSkipSlip)) {
            for (int i = 0; i < kSnmpProbeAttempts; ++i) {
                if (progress)
                    progress({"probing SNMP, attempt " + std::to_string(i + 1) + " of " +
                                  std::to_string(kSnmpProbeAttempts),
                              i, kSnmpProbeAttempts});
                uint8_t buffer[128];
                if (snmpProbe(buffer, sizeof buffer) == 0) {
                    crateSettings().snmpMode = true;
                    break;
                }
            }
        }
        applyControllerLimits(flags);
        if (crateSettings().controllerType != kQx308)
            operatorSeam().removeMenuCommand(cmd::kFirmwareUpdateViaCan);
        updateTitle("");
        if (crateSettings().snmpMode)
            bindSnmpVariants();
        else
            bindDirectOperations();
    }
    return discoverModules([&progress](const DiscoveryProgress& p) {
               char text[64];
               std::snprintf(text, sizeof text,
                             p.identifying ? "%d found, reading %d" : "%d found, testing %d", p.found,
                             p.index);
               updateTitle(text);
               // One bar for both phases, the search in its first half and the reading in its
               // second, so it never runs backwards between them.
               constexpr int kHalf = 1000;
               const int within = p.steps > 0 ? std::min(p.step, p.steps) * kHalf / p.steps : 0;
               if (progress) progress({text, (p.identifying ? kHalf : 0) + within, 2 * kHalf});
           }) != -1;
}

}  // namespace vz
