#pragma once
// A virtual crate behind the link for benchmarks: full speed in virtual time, or at line rate in
// real time; no window.
#include <memory>
#include <string>

#include "base/clock.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz::bench {

class BenchCrate {
  public:
    // A KRAT controller with modules at channels 0..moduleCount-1, opened and bound. With
    // `realTimeLine` the line takes its wire time at 115200 baud on the steady clock, as a real crate
    // does; otherwise everything runs in virtual time at full speed.
    explicit BenchCrate(int moduleCount, bool realTimeLine = false);
    // A crate from a scenario (its controller type as given), opened and bound the same way.
    BenchCrate(const std::string& scenarioJson, int controllerType, bool realTimeLine);
    ~BenchCrate();

    vsim::VirtualCrate& crate() { return driver_->crate(); }

  private:
    VirtualClock clock_;
    std::unique_ptr<VirtualBridgeDriver> driver_;
};

}  // namespace vz::bench
