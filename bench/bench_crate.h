#pragma once
// A virtual crate behind the link for benchmarks: full speed, virtual time, no window.
#include <memory>
#include <string>

#include "base/clock.h"
#include "link/virtual_bridge_driver.h"

namespace vz::bench {

class BenchCrate {
public:
    // A KRAT controller with modules at channels 0..moduleCount-1, opened and bound.
    explicit BenchCrate(int moduleCount);
    ~BenchCrate();

private:
    VirtualClock clock_;
    std::unique_ptr<VirtualBridgeDriver> driver_;
};

}  // namespace vz::bench
