#include "app/core/crate_session.h"

#include "app/core/polling.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/parameter_access.h"
#include "ctrlfw/controller_update.h"
#include "link/bridge.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz {

CrateSession::CrateSession(uint32_t flags, const BridgeMaker& makeBridge) {
    if (flags & kUseCan) {
        attached_ = true;  // no USB at all: nothing to open
        return;
    }
    library_ = makeBridge(crateSettings().portName, error_);
    if (!library_) return;
    setBridge(library_.get());
    attached_ = true;
}

CrateSession::~CrateSession() {
    if (!library_) return;
    usbClose();
    setBridge(nullptr);
}

bool CrateSession::connect(uint32_t& flags, const ConnectionProgressFn& progress) {
    return attached_ && connectController(flags, progress);
}

void resetProcessState() {
    resetSettings();
    resetCommProblem();
    resetModuleAccessCounters();
    resetChannelTable();
    resetPolling();
    linkState().usbInfo = UsbInfo{};
    linkState().usbHandle = kNoHandle;
    unbindOperations();
    resetControllerUpdateSteps();
    resetRecordCertainty();
}

}  // namespace vz
