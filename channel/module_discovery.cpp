#include "channel/module_discovery.h"

#include <cstring>

#include "base/controller_type.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/firmware_version.h"
#include "channel/module_memory_map.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"

namespace vz {

namespace {

struct KindPrefix {
    const char* prefix;
    uint32_t kind;
};
constexpr KindPrefix kKinds[] = {{"DEVIZ", kKindDeviz},
                                 {"RERUZ", kKindReruz},
                                 {"WDXslave", kKindWdxSlave},
                                 {"BOLAN JOVA", kKindBolanJova}};

// Reads the serial number word; false when fewer than 4 bytes came back.
bool readSerial(bool modulePath, int i, uint32_t& serial) {
    uint8_t bytes[4] = {};
    const int n = modulePath ? moduleRead(moduleAddressByte(i), kSystemConfigBase, 0, bytes, 4)
                             : moduleReadWords(kControllerAddress,
                                               cacheWordAddress(kCacheSystemConfigWord, i), bytes, 4);
    if (n != 4) return false;
    serial =
        static_cast<uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) | (uint32_t{bytes[3]} << 24);
    return true;
}

void search(const DiscoveryProgressFn& progress) {
    unsigned n = (crateSettings().fCmdLine & kSearchAll)
                     ? 127u
                     : static_cast<unsigned>(crateSettings().typeChannelLimit);
    n = std::min(n, crateSettings().searchLimit);
    if (crateSettings().typeChannelLimit == 0) n = 0;
    for (unsigned i = 0; i < n; ++i) {
        // After CANCEL in the problem dialog every address would still cost a read time-out; the
        // operator has said not to wait for this crate.
        if (linkState().commProblem.abort) break;
        if (progress)
            progress({false, static_cast<int>(channelState().channelTable.foundCount), static_cast<int>(i),
                      static_cast<int>(i), static_cast<int>(n)});
        const bool modulePath = (crateSettings().fCmdLine & kSearchModules) ||
                                static_cast<int>(i) >= crateSettings().typeChannelLimit;
        uint32_t serial = 0;
        if (!readSerial(modulePath, static_cast<int>(i), serial)) {
            if (modulePath) continue;
            break;  // the controller does not answer: the search phase ends
        }
        if (serial == 0) continue;
        QOR& q = channelState().channelTable.channels[i];
        ++channelState().channelTable.foundCount;
        q.moduleAddress = static_cast<uint16_t>(i);
        q.foundSerial = serial;
        if (channelState().selectedChannel == -1) channelState().selectedChannel = static_cast<int>(i);
    }
}

void identify(const DiscoveryProgressFn& progress) {
    int step = 0;
    for (int i = 0; i < kChannelCount; ++i) {
        QOR& q = channelState().channelTable.channels[i];
        if (!q.present()) continue;
        if (linkState().commProblem.abort) break;
        if (progress)
            progress({true, static_cast<int>(channelState().channelTable.foundCount), i, step++,
                      static_cast<int>(channelState().channelTable.foundCount)});
        if (q.system().readFromModule() != 0) continue;
        q.foundSerial = q.serialNumber;
        q.firmware().readFromModule();
        char text[33];
        firmwareVersionText(q, text, sizeof text);
        q.moduleKind = moduleKindForFirmware(text);
        if (q.configurable()) q.user().readFromModule();
    }
}

}  // namespace

uint32_t moduleKindForFirmware(const char* firmwareText) {
    for (const auto& k : kKinds)
        if (std::strncmp(firmwareText, k.prefix, std::strlen(k.prefix)) == 0) return k.kind;
    return kKindOther;
}

int discoverModules(const DiscoveryProgressFn& progress) {
    for (;;) {
        search(progress);
        identify(progress);
        if (crateSettings().controllerType == kKrat || channelState().channelTable.foundCount != 0 ||
            crateSettings().typeChannelLimit == 0 || crateSettings().searchLimit == 0)
            return static_cast<int>(channelState().channelTable.foundCount);
        const BoxAnswer answer =
            operatorSeam().messageBox({"Error",
                                       "No Modules found. This is OK if you want to program new firmware. "
                                       "Click IGNORE in this situation.",
                                       BoxButtons::AbortRetryIgnore, BoxIcon::Information, true});
        if (answer == BoxAnswer::Abort) return -1;
        if (answer != BoxAnswer::Retry) return static_cast<int>(channelState().channelTable.foundCount);
    }
}

}  // namespace vz
