#pragma once
// An operator for tests: scripted answers, and a record of everything that was shown.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/operator_seam.h"

namespace vz::test {

// Thrown instead of ending the test process.
struct ProcessExit {
    int code;
};

class ScriptedOperator : public OperatorSeam {
public:
    ScriptedOperator();
    ~ScriptedOperator() override;

    BoxAnswer messageBox(const BoxRequest& box) override;
    int chooseUsbDevice(const std::vector<UsbChoice>& devices) override;
    void commProblemOpen(const std::string& caption) override;
    bool commProblemPump() override;
    void commProblemClose() override;
    void setTitle(const std::string& title) override { titles.push_back(title); }
    void beep(Beep kind) override { beeps.push_back(kind); }
    void removeMenuCommand(int id) override { removedCommands.push_back(id); }
    [[noreturn]] void endProcess(int exitCode) override { throw ProcessExit{exitCode}; }

    // Answers in order; when they run out, the first button's natural "cancel" answer.
    std::deque<BoxAnswer> answers;
    std::vector<BoxRequest> boxes;
    int deviceChoice = -1;
    std::vector<std::vector<UsbChoice>> deviceDialogs;
    // Pressing CANCEL of the problem dialog at the n-th pump (1-based); 0 never.
    int cancelAtPump = 0;
    int pumps = 0;
    std::vector<std::string> problemCaptions;
    int problemCloses = 0;
    bool problemShown = false;
    std::function<void()> onPump;
    std::vector<std::string> titles;
    std::vector<Beep> beeps;
    std::vector<int> removedCommands;
};

}  // namespace vz::test
