#include "tests/support/crate_fixture.h"

#include "app/core/crate_session.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/comm_problem.h"
#include "link/module_access.h"
#include "link/usb_link.h"

namespace vz::test {

void CrateFixture::SetUp() {
    setClock(&clock_);
    resetProcessState();
}

void CrateFixture::TearDown() {
    usbClose();
    setBridge(nullptr);
    resetProcessState();
    setClock(nullptr);
}

void CrateFixture::useScenario(const std::string& json) {
    std::string error;
    auto c = vsim::VirtualCrate::fromJsonText(json, error);
    ASSERT_TRUE(c) << error;
    crate = c.get();
    driver = std::make_unique<VirtualBridgeDriver>(std::move(c));
    recorder = std::make_unique<RecordingBridge>(*driver);
    setBridge(recorder.get());
}

std::vector<std::vector<uint8_t>> CrateFixture::sentFrames() const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& w : recorder->writes) out.push_back(w.bytes);
    return out;
}

std::string oneBridgeScenario(const std::string& modulesJson, const std::string& faultsJson,
                              const std::string& controllerJson, const std::string& pid) {
    return R"({"bridges": [{"serial": "SN1", "description": "Test crate", "vid": "1A2B", "pid": ")" + pid +
           R"("}], "controller": {"type": 18, "lineRate": false)" + (controllerJson.empty() ? "" : ", ") +
           controllerJson + R"(}, "modules": [)" + modulesJson + R"(], "faults": [)" + faultsJson + "]}";
}

}  // namespace vz::test
