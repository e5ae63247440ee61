#include "link/comm_problem.h"

#include <cstdio>

#include <mutex>

#include "link/module_access.h"
#include "base/operator_seam.h"
#include "link/usb_link.h"

namespace vz {

CommProblem commProblem;

bool commProblemCheck(uint8_t module, bool isRead) {
    commProblem.lastFailedModule = module;
    commProblem.lastFailedWasRead = isRead;
    if (commProblem.abort) return true;
    if (commProblem.failureCount <= 4) {
        ++commProblem.failureCount;
        return false;
    }
    OperatorSeam& seam = operatorSeam();
    seam.beep(Beep::Exclamation);
    if (!commProblem.dialogShown) {
        seam.commProblemOpen("[SN " + usbSerial() + "] Communication Problem");
        commProblem.dialogShown = true;
    }
    if (seam.commProblemPump()) commProblem.abort = true;
    return false;
}

void commProblemClose() {
    if (!commProblem.dialogShown) return;  // every good exchange ends here: no lock needed to see it
    {
        std::lock_guard lock(linkLock);
        if (!commProblem.dialogShown) return;
        commProblem.dialogShown = false;
        commProblem.failureCount = 0;
    }
    operatorSeam().commProblemClose();
}

void resetCommProblem() {
    std::lock_guard lock(linkLock);
    commProblem.dialogShown = false;
    commProblem.abort = false;
    commProblem.readRetries = 0;
    commProblem.writeRetries = 0;
    commProblem.failureCount = 0;
    commProblem.lastFailedModule = 0xFF;
    commProblem.lastFailedWasRead = false;
}

std::string moduleAddressName(uint8_t module) {
    switch (module) {
        case 0xFF: return "the crate controller";
        case 0: return "all modules";
        case 1: return "group 1";
        case 2: return "group 2";
        default: break;
    }
    // Formatted rather than concatenated: GCC 12's -Wrestrict misreads "U" + std::to_string(...) at -O3.
    char text[16];
    std::snprintf(text, sizeof text, module >= 0x80 ? "U%d" : "address %d", module >= 0x80 ? module - 0x80 : module);
    return text;
}

}  // namespace vz
