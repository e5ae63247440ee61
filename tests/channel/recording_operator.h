#pragma once
// Operator seam for the tests: answers OK to every box and keeps what was shown.
#include <vector>

#include "base/operator_seam.h"

namespace vz::test {

class RecordingOperator : public OperatorSeam {
  public:
    RecordingOperator() { setOperatorSeam(this); }
    ~RecordingOperator() override { setOperatorSeam(nullptr); }
    RecordingOperator(const RecordingOperator&) = delete;
    RecordingOperator& operator=(const RecordingOperator&) = delete;

    BoxAnswer messageBox(const BoxRequest& box) override;
    int chooseUsbDevice(const std::vector<UsbChoice>&) override { return -1; }
    void commProblemOpen(const std::string&) override {}
    bool commProblemPump() override { return false; }
    void commProblemClose() override {}
    void setTitle(const std::string&) override {}
    void beep(Beep) override {}
    void removeMenuCommand(int) override {}
    [[noreturn]] void endProcess(int exitCode) override;

    std::vector<BoxRequest> boxes;
};

}  // namespace vz::test
