#pragma once
// The analogue side of one output: set-point ramp, resistive load, current limit, temperature and
// the supervision of the user thresholds. Advanced in time steps by the crate controller.
#include <array>
#include <cstdint>

namespace vsim {

// Everything the output needs from the module's records, in volts, amperes, seconds.
struct OutputSettings {
    double uSet = 0;    // calibrated set point
    double iLimit = 0;  // calibrated current limit
    double rampUp = 0;  // V/s; 0 switches at once
    double rampDown = 0;
    bool noRampOff = false;
    double loadOhms = 0;  // 0: nothing connected
    double cableOhms = 0;
    double ambientC = 25;
    double heatCPerW = 0;
    // Supervision in the order min sense, max sense, max terminal, max current, temperature, power.
    std::array<double, 6> threshold{};
    std::array<uint16_t, 6> delayMs{};
    uint16_t errorAction = 0;
    bool ignoresGlobalInhibit = false;
};

struct OutputReadings {
    double uSense = 0;
    double current = 0;
    double uTerminal = 0;
    double temperature = 0;
    double power = 0;
    uint16_t status = 0;
};

// Status bits of the measurement record.
namespace statusbit {
inline constexpr uint16_t on = 1 << 0, rising = 1 << 1, falling = 1 << 2, currentLimit = 1 << 3,
                          inhibit = 1 << 4, trippedOff = 1 << 6, power = 1 << 10, uSenseMin = 1 << 11,
                          uSenseMax = 1 << 12, uModuleMax = 1 << 13, iModuleMax = 1 << 14,
                          temperature = 1 << 15;
}

class OutputModel {
  public:
    void switchOn();
    void switchOff(const OutputSettings& s);
    void setInhibit(bool on) { inhibit_ = on; }
    // Jumps to the end of the ramp, for outputs that are already on when the crate starts.
    void settle(const OutputSettings& s) { ramp_ = target(s); }
    // Switched off by an error action, here or elsewhere in its group or crate.
    void trip(const OutputSettings& s);

    bool isOn() const { return on_; }
    bool inhibited() const { return inhibit_; }
    // True while something changes with time: the ramp runs or a supervision delay counts.
    bool active(const OutputSettings& s) const;
    // Advances by dtUs; returns the strongest error action that fired (0 none, 1 channel, 2 group, 3 all).
    int step(const OutputSettings& s, int64_t dtUs);
    OutputReadings readings(const OutputSettings& s) const;

  private:
    double target(const OutputSettings& s) const;
    std::array<bool, 6> conditions(const OutputSettings& s, const OutputReadings& r) const;

    bool on_ = false;
    bool inhibit_ = false;
    bool tripped_ = false;
    double ramp_ = 0;  // volts the regulator aims at now
    uint16_t latched_ = 0;
    std::array<int64_t, 6> pendingUs_{};
};

}  // namespace vsim
