#include "tests/support/scripted_operator.h"

namespace vz::test {

ScriptedOperator::ScriptedOperator() { setOperatorSeam(this); }
ScriptedOperator::~ScriptedOperator() { setOperatorSeam(nullptr); }

BoxAnswer ScriptedOperator::messageBox(const BoxRequest& box) {
    boxes.push_back(box);
    if (!answers.empty()) {
        const BoxAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (box.buttons) {
        case BoxButtons::Ok: return BoxAnswer::Ok;
        case BoxButtons::AbortRetryIgnore: return BoxAnswer::Abort;
        case BoxButtons::YesNo: return BoxAnswer::No;
        default: return BoxAnswer::Cancel;
    }
}

int ScriptedOperator::chooseUsbDevice(const std::vector<UsbChoice>& devices) {
    deviceDialogs.push_back(devices);
    return deviceChoice;
}

void ScriptedOperator::commProblemOpen(const std::string& caption) {
    problemCaptions.push_back(caption);
    problemShown = true;
}

bool ScriptedOperator::commProblemPump() {
    ++pumps;
    if (onPump) onPump();
    return cancelAtPump != 0 && pumps == cancelAtPump;
}

void ScriptedOperator::commProblemClose() {
    ++problemCloses;
    problemShown = false;
}

}  // namespace vz::test
