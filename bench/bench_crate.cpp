#include "bench/bench_crate.h"

#include <stdexcept>

#include "app/core/polling.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/virtual_crate.h"

namespace vz::bench {

namespace {
std::string devizCrate(int moduleCount, bool realTimeLine) {
    std::string modules;
    for (int i = 0; i < moduleCount; ++i) {
        if (i) modules.append(",");
        modules.append(R"({"channel": )").append(std::to_string(i));
        modules.append(R"(, "serialNumber": )").append(std::to_string(10000 + i));
        modules.append(R"(, "firmware": {"name": "DEVIZ 12V10A"}, "system": {"voltageExponent": -11,
                        "currentExponent": -12, "maxUnom": "15 V", "maxInom": "7 A"},
                        "user": {"Unom": "12 V", "Inom": "5 A"}, "on": true})");
    }
    return R"({"bridges": [{"serial": "BENCH", "description": "bench", "vid": "1A2B", "pid": "0012"}],
            "controller": {"type": 18, "lineRate": )" +
           std::string(realTimeLine ? "true" : "false") + R"(, "canTimeoutMs": 0}, "modules": [)" + modules +
           "]}";
}
}  // namespace

BenchCrate::BenchCrate(int moduleCount, bool realTimeLine)
    : BenchCrate(devizCrate(moduleCount, realTimeLine), 18, realTimeLine) {}

BenchCrate::BenchCrate(const std::string& scenarioJson, int type, bool realTimeLine) {
    std::string error;
    auto crate = vsim::VirtualCrate::fromJsonText(scenarioJson, error);
    if (!crate) throw std::runtime_error(error);
    setClock(realTimeLine ? nullptr : &clock_);
    resetSettings();
    resetChannelTable();
    resetCommProblem();
    resetPolling();
    driver_ = std::make_unique<VirtualBridgeDriver>(std::move(crate));
    setBridge(driver_.get());
    linkState().usbInfo = UsbInfo{};
    if (!usbOpen(linkState().usbInfo)) throw std::runtime_error("the virtual crate did not open");
    crateSettings().controllerType = type;
    crateSettings().typeChannelLimit = 127;
    crateSettings().fCmdLine |= kSearchModules | kMeasureFromModules;
    bindDirectOperations();
}

BenchCrate::~BenchCrate() {
    usbClose();
    setBridge(nullptr);
    unbindOperations();
    setClock(nullptr);
}

}  // namespace vz::bench
