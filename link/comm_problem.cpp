#include "link/comm_problem.h"

#include "link/operator_seam.h"
#include "link/usb_link.h"

namespace vz {

CommProblem commProblem;

bool commProblemCheck() {
    if (commProblem.abort) return true;
    if (commProblem.failureCount <= 4) {
        ++commProblem.failureCount;
        return false;
    }
    OperatorSeam& seam = operatorSeam();
    seam.beep(Beep::Exclamation);
    if (!commProblem.dialogShown) {
        seam.commProblemOpen("[SN " + usbInfo.serial + "] Communication Problem");
        commProblem.dialogShown = true;
    }
    if (seam.commProblemPump()) commProblem.abort = true;
    return false;
}

void commProblemClose() {
    if (!commProblem.dialogShown) return;
    operatorSeam().commProblemClose();
    commProblem.dialogShown = false;
    commProblem.failureCount = 0;
}

void resetCommProblem() { commProblem = CommProblem{}; }

}  // namespace vz
