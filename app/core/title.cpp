#include "app/core/title.h"

#include <cstdio>

#include "base/controller_type.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/usb_link.h"

namespace vz {

const char* controllerName() {
    switch (crateSettings().controllerType) {
        case kQx308:
            return crateSettings().snmpMode ? "QX308(SNMP)" : "QX308(USB)";
        case kWdx:
            return "WDX";
        case kKrat:
            return crateSettings().snmpMode ? "KRAT(SNMP)" : "KRAT(USB)";
        case kKts:
            return "KTS";
        case kVar7:
            return "VAR7";
        default:
            return "UNKNOWN";
    }
}

std::string titleText(const char* text) {
    char suffix[160] = "";
    if (text && *text) {
        std::snprintf(suffix, sizeof suffix, ": Search channels: %s", text);
    } else if (crateSettings().searchLimit == 0 || crateSettings().typeChannelLimit == 0) {
        // no suffix
    } else if (channelState().channelTable.foundCount != 0) {
        std::snprintf(suffix, sizeof suffix, " channel U%d", channelState().selectedChannel);
    } else {
        std::snprintf(suffix, sizeof suffix, ": Search channels: %s", "");
    }
    char title[256];
    const std::string serial = usbSerial();
    if (crateSettings().fCmdLine & kPlainTitle)
        std::snprintf(title, sizeof title, "VIDIzozorez --> %s(%s)%s", controllerName(), serial.c_str(),
                      suffix);
    else
        std::snprintf(title, sizeof title, "VIDIzozorez --> %s(%s)%s (fCmdLine=%X)", controllerName(),
                      serial.c_str(), suffix, crateSettings().fCmdLine);
    return title;
}

void updateTitle(const char* text) {
    operatorSeam().setTitle(titleText(text));
}

}  // namespace vz
