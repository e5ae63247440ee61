#include "link/comm_problem.h"

#include <cstdio>
#include <mutex>

#include "base/operator_seam.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz {

bool commProblemCheck(uint8_t module, bool isRead) {
    CommProblem& problem = linkState().commProblem;
    problem.lastFailedModule = module;
    problem.lastFailedWasRead = isRead;
    if (problem.abort) return true;
    if (problem.failureCount <= 4) {
        ++problem.failureCount;
        return false;
    }
    OperatorSeam& seam = operatorSeam();
    seam.beep(Beep::Exclamation);
    if (!problem.dialogShown) {
        seam.commProblemOpen("[SN " + usbSerial() + "] Communication Problem");
        problem.dialogShown = true;
    }
    if (seam.commProblemPump()) problem.abort = true;
    return false;
}

void commProblemClose() {
    CommProblem& problem = linkState().commProblem;
    if (!problem.dialogShown) return;  // every good exchange ends here: no lock needed to see it
    {
        std::lock_guard lock(linkState().linkLock);
        if (!problem.dialogShown) return;
        problem.dialogShown = false;
        problem.failureCount = 0;
    }
    operatorSeam().commProblemClose();
}

void resetCommProblem() {
    CommProblem& problem = linkState().commProblem;
    std::lock_guard lock(linkState().linkLock);
    problem.dialogShown = false;
    problem.abort = false;
    problem.readRetries = 0;
    problem.writeRetries = 0;
    problem.failureCount = 0;
    problem.lastFailedModule = 0xFF;
    problem.lastFailedWasRead = false;
}

std::string moduleAddressName(uint8_t module) {
    switch (module) {
        case 0xFF:
            return "the crate controller";
        case 0:
            return "all modules";
        case 1:
            return "group 1";
        case 2:
            return "group 2";
        default:
            break;
    }
    // Formatted rather than concatenated: GCC 12's -Wrestrict misreads "U" + std::to_string(...) at -O3.
    char text[16];
    std::snprintf(text, sizeof text, module >= 0x80 ? "U%d" : "address %d",
                  module >= 0x80 ? module - 0x80 : module);
    return text;
}

}  // namespace vz
