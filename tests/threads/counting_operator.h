#pragma once
// The operator of the threaded tests: never cancels the communication problem dialog, so every failed
// exchange is retried until it succeeds, and counts what it was asked, from any thread.
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/operator_seam.h"

namespace vz {

class CountingOperator final : public OperatorSeam {
  public:
    BoxAnswer messageBox(const BoxRequest&) override {
        ++boxes;
        return BoxAnswer::Ok;
    }
    int chooseUsbDevice(const std::vector<UsbChoice>&) override { return -1; }
    void commProblemOpen(const std::string&) override { ++problemDialogs; }
    bool commProblemPump() override { return false; }
    void commProblemClose() override {}
    void setTitle(const std::string&) override {}
    void beep(Beep) override {}
    void removeMenuCommand(int) override {}
    [[noreturn]] void endProcess(int) override { std::abort(); }
    std::atomic<int> boxes{0}, problemDialogs{0};
};

}  // namespace vz
