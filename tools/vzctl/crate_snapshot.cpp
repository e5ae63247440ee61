#include "tools/vzctl/crate_snapshot.h"

#include "app/core/polling.h"
#include "app/core/title.h"
#include "base/settings.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz::ctl {

void fillSnapshotFromCrate(CrateSnapshot& s) {
    s.serial = usbSerial();
    s.controller = controllerName();
    s.title = titleText("");
    s.controllerType = controllerType;
    s.measuresTemperature = (fCmdLine & kGetBlock1) != 0;
    s.ticks = tickCount;
    s.channels = channelTable.channels;
    s.counters.usbReads = usbInfo.readCalls;
    s.counters.usbWrites = usbInfo.writeCalls;
    s.counters.moduleReadErrors = moduleReadErrors;
    s.counters.moduleWriteErrors = moduleWriteErrors;
}

}  // namespace vz::ctl
