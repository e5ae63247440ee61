#include "sim/output_model.h"

#include <algorithm>
#include <cmath>

namespace vsim {
namespace {

constexpr std::array<uint16_t, 6> kFlag{statusbit::uSenseMin,  statusbit::uSenseMax,   statusbit::uModuleMax,
                                        statusbit::iModuleMax, statusbit::temperature, statusbit::power};
// Shift of each supervision's 2-bit code in the error action word.
constexpr std::array<int, 6> kActionShift{0, 2, 4, 6, 8, 10};
constexpr double kEpsilon = 1e-9;

}  // namespace

void OutputModel::switchOn() {
    on_ = true;
    tripped_ = false;
    latched_ = 0;  // a new switch-on acknowledges the old failures
    pendingUs_.fill(0);
}

void OutputModel::switchOff(const OutputSettings& s) {
    on_ = false;
    if (s.noRampOff) ramp_ = 0;
}

void OutputModel::trip(const OutputSettings& s) {
    if (on_) tripped_ = true;
    switchOff(s);
}

double OutputModel::target(const OutputSettings& s) const {
    return on_ && !inhibit_ ? std::max(0.0, s.uSet) : 0.0;
}

bool OutputModel::active(const OutputSettings& s) const {
    if (std::fabs(ramp_ - target(s)) > kEpsilon) return true;
    for (int64_t p : pendingUs_)
        if (p > 0) return true;
    const auto c = conditions(s, readings(s));
    for (size_t i = 0; i < c.size(); ++i)
        if (c[i] && !(latched_ & kFlag[i])) return true;
    return false;
}

std::array<bool, 6> OutputModel::conditions(const OutputSettings& s, const OutputReadings& r) const {
    // Too little sense voltage only counts once the output has settled at its set point.
    const bool settled = on_ && !inhibit_ && std::fabs(ramp_ - target(s)) <= kEpsilon;
    return {settled && r.uSense<s.threshold[0], r.uSense> s.threshold[1], r.uTerminal > s.threshold[2],
            r.current > s.threshold[3], r.temperature > s.threshold[4], r.power > s.threshold[5]};
}

int OutputModel::step(const OutputSettings& s, int64_t dtUs) {
    const double dt = static_cast<double>(dtUs) * 1e-6;
    const double goal = target(s);
    if (ramp_ < goal)
        ramp_ = s.rampUp <= 0 ? goal : std::min(goal, ramp_ + s.rampUp * dt);
    else if (ramp_ > goal)
        ramp_ = s.rampDown <= 0 ? goal : std::max(goal, ramp_ - s.rampDown * dt);

    const auto c = conditions(s, readings(s));
    int action = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        if (!c[i]) {
            pendingUs_[i] = 0;
            continue;
        }
        if (latched_ & kFlag[i]) continue;
        pendingUs_[i] += dtUs;
        if (pendingUs_[i] >= int64_t{s.delayMs[i]} * 1000) {
            latched_ |= kFlag[i];
            pendingUs_[i] = 0;
            action = std::max(action, (s.errorAction >> kActionShift[i]) & 3);
        }
    }
    return action;
}

OutputReadings OutputModel::readings(const OutputSettings& s) const {
    OutputReadings r;
    double v = std::max(0.0, ramp_);
    double i = 0;
    bool limiting = false;
    if (s.loadOhms > 0) {
        i = v / s.loadOhms;
        const double limit = std::max(0.0, s.iLimit);
        if (i > limit) {
            i = limit;
            v = i * s.loadOhms;  // the regulator gives up voltage to hold the current
            limiting = true;
        }
    }
    r.uSense = v;
    r.current = i;
    r.uTerminal = v + i * s.cableOhms;
    r.power = r.uTerminal * i;
    r.temperature = s.ambientC + s.heatCPerW * r.power;
    const double goal = target(s);
    uint16_t st = latched_;
    if (on_) st |= statusbit::on;
    if (ramp_ < goal - kEpsilon) st |= statusbit::rising;
    if (ramp_ > goal + kEpsilon) st |= statusbit::falling;
    if (limiting) st |= statusbit::currentLimit;
    if (inhibit_) st |= statusbit::inhibit;
    if (tripped_) st |= statusbit::trippedOff;
    r.status = st;
    return r;
}

}  // namespace vsim
