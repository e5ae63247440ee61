#pragma once
// The SNMP client against the scripted peer, in virtual time, with a scripted operator and the
// debug log lines collected.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/debug_log.h"
#include "base/operator_seam.h"
#include "link/comm_problem.h"
#include "link/link_capture.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/snmp/snmp_client.h"
#include "link/snmp/snmp_operations.h"
#include "link/usb_link.h"
#include "tests/snmp/fake_snmp_peer.h"

namespace vz::test {

// Records the problem dialog; presses CANCEL at the given pump (1-based).
class ProblemDialogOperator : public OperatorSeam {
  public:
    BoxAnswer messageBox(const BoxRequest&) override { return BoxAnswer::Cancel; }
    int chooseUsbDevice(const std::vector<UsbChoice>&) override { return -1; }
    void commProblemOpen(const std::string& caption) override { openedWith.push_back(caption); }
    bool commProblemPump() override { return ++pumps == cancelAtPump; }
    void commProblemClose() override { ++closes; }
    void setTitle(const std::string&) override {}
    void beep(Beep) override { ++beeps; }
    void removeMenuCommand(int) override {}
    [[noreturn]] void endProcess(int) override { std::abort(); }

    std::vector<std::string> openedWith;
    // A test that goes wrong ends with CANCEL instead of retrying for ever.
    int pumps = 0, cancelAtPump = 100, closes = 0, beeps = 0;
};

class SnmpFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        setClock(&clock);
        setBridge(&peer);
        setOperatorSeam(&seam);
        linkState().usbHandle = 1;
        linkState().usbInfo = UsbInfo{};
        resetCommProblem();
        resetModuleAccessCounters();
        resetSnmpClient();
        bindSnmpVariants();
        setDebugLogOutput([this](std::string_view line) { logLines.emplace_back(line); });
    }
    void TearDown() override {
        setDebugLogOutput(nullptr);
        stopLinkCapture();
        unbindOperations();
        linkState().usbHandle = kNoHandle;
        setOperatorSeam(nullptr);
        setBridge(nullptr);
        setClock(nullptr);
    }
    // The value octets of the n-th module frame sent (0-based).
    Bytes sentFrame(size_t n) const { return peer.requests.at(n).value; }
    int logged(const std::string& text) const {
        int count = 0;
        for (const auto& l : logLines)
            if (l.find(text) != std::string::npos) ++count;
        return count;
    }

    VirtualClock clock;
    FakeSnmpPeer peer{clock};
    ProblemDialogOperator seam;
    std::vector<std::string> logLines;
};

}  // namespace vz::test
