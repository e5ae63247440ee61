#include "base/operator_seam.h"

#include <cstdio>
#include <cstdlib>

namespace vz {

BoxAnswer HeadlessOperator::messageBox(const BoxRequest& box) {
    std::fprintf(stderr, "[%s] %s\n", box.caption.c_str(), box.text.c_str());
    switch (box.buttons) {
        case BoxButtons::Ok: return BoxAnswer::Ok;
        case BoxButtons::OkCancel: return BoxAnswer::Cancel;
        case BoxButtons::RetryCancel: return BoxAnswer::Cancel;
        case BoxButtons::AbortRetryIgnore: return BoxAnswer::Abort;
        case BoxButtons::YesNo: return BoxAnswer::No;
    }
    return BoxAnswer::Cancel;
}

int HeadlessOperator::chooseUsbDevice(const std::vector<UsbChoice>& devices) {
    std::fprintf(stderr, "Several USB devices are attached; no window to choose one in:\n");
    for (const auto& d : devices)
        std::fprintf(stderr, "  SN %s  - %s (%s)\n", d.serial.c_str(), d.description.c_str(),
                     d.available ? "available" : "in use");
    return -1;
}

void HeadlessOperator::commProblemOpen(const std::string& caption) {
    std::fprintf(stderr, "%s: No communication between the computer and the power supply. Answered CANCEL.\n",
                 caption.c_str());
}

void HeadlessOperator::endProcess(int exitCode) {
    std::fflush(nullptr);
    std::exit(exitCode);
}

namespace {
HeadlessOperator headless;
OperatorSeam* current = &headless;
}  // namespace

OperatorSeam& operatorSeam() { return *current; }
void setOperatorSeam(OperatorSeam* seam) { current = seam ? seam : &headless; }

}  // namespace vz
