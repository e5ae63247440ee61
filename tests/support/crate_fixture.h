#pragma once
// A virtual crate behind the link, in virtual time, with a scripted operator: the base of the
// link, channel and shell tests that exchange frames.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/clock.h"
#include "virtual_bridge/virtual_bridge_driver.h"
#include "sim/virtual_crate.h"
#include "tests/support/recording_bridge.h"
#include "tests/support/scripted_operator.h"

namespace vz::test {

class CrateFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Loads a scenario (JSON text) and installs its bridges as the link's library.
    void useScenario(const std::string& json);
    // The bytes the host sent, one entry per write.
    std::vector<std::vector<uint8_t>> sentFrames() const;

    VirtualClock clock_;
    ScriptedOperator seam;
    std::unique_ptr<VirtualBridgeDriver> driver;
    std::unique_ptr<RecordingBridge> recorder;
    vsim::VirtualCrate* crate = nullptr;
};

// A scenario of one KRAT bridge (serial "SN1") without line rate; modulesJson is the "modules" array
// body, faultsJson the "faults" array body, controllerJson extra controller keys.
std::string oneBridgeScenario(const std::string& modulesJson, const std::string& faultsJson = "",
                              const std::string& controllerJson = "", const std::string& pid = "0012");

}  // namespace vz::test
