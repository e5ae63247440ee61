#include "dialogs/calibration_wizard.h"

#include <cmath>
#include <cstdio>

#include "base/debug_log.h"
#include "base/text_format.h"
#include "channel/composite_setters.h"
#include "channel/raw_scaling.h"
#include "dialogs/field_helpers.h"
#include "dialogs/field_parsing.h"

namespace vz {
namespace {

struct QuantityInfo {
    const char* name;
    CalibrationKind kind;
    bool current;  // amperes and the current exponent, else volts
    int lowReal, lowModule, highReal, highModule;
};

constexpr std::array<QuantityInfo, kCalQuantities> kInfo{{
    {"USense", CalibrationKind::measurement, false, cal::kSenseLowReal, cal::kSenseLowModule,
     cal::kSenseHighReal, cal::kSenseHighModule},
    {"UModul", CalibrationKind::measurement, false, cal::kTermLowReal, cal::kTermLowModule,
     cal::kTermHighReal, cal::kTermHighModule},
    {"IModul", CalibrationKind::measurement, true, cal::kCurLowReal, cal::kCurLowModule, cal::kCurHighReal,
     cal::kCurHighModule},
    {"UNominal", CalibrationKind::setPoint, false, cal::kUNomLowReal, cal::kUNomLowModule, cal::kUNomHighReal,
     cal::kUNomHighModule},
    {"UInternal", CalibrationKind::setPoint, false, cal::kUIntLowReal, cal::kUIntLowModule,
     cal::kUIntHighReal, cal::kUIntHighModule},
    {"INominal", CalibrationKind::setPoint, true, cal::kINomLowReal, cal::kINomLowModule, cal::kINomHighReal,
     cal::kINomHighModule},
}};

const QuantityInfo& info(CalQuantity q) {
    return kInfo[static_cast<size_t>(q)];
}
size_t index(CalQuantity q) {
    return static_cast<size_t>(q);
}

CalibrationPair presentPair(const QOR& c, CalQuantity q) {
    const MODULE_SYSTEM_CONFIG& s = c.system();
    switch (q) {
        case CalQuantity::uSense:
            return {s.calUSenGain, s.calUSenOffset};
        case CalQuantity::uTerminal:
            return {s.calUModGain, s.calUModOffset};
        case CalQuantity::current:
            return {s.calIModGain, s.calIModOffset};
        case CalQuantity::uNominal:
            return {s.calUSetGain, s.calUSetOffset};
        case CalQuantity::uInternal:
            return {s.calUIntGain, s.calUIntOffset};
        case CalQuantity::iNominal:
            return {s.calISetGain, s.calISetOffset};
    }
    return {};
}

// Offset first, then gain (sent even when the offset was refused), as the module takes them; a refusal
// is reported by the setter. True when the module took both.
bool writePair(QOR& c, CalQuantity q, CalibrationPair p) {
    MODULE_SYSTEM_CONFIG& s = c.system();
    switch (q) {
        case CalQuantity::uSense: {
            const bool offset = s.setCalUSenOffset(p.offset);
            return s.setCalUSenGain(p.gain) && offset;
        }
        case CalQuantity::uTerminal: {
            const bool offset = s.setCalUModOffset(p.offset);
            return s.setCalUModGain(p.gain) && offset;
        }
        case CalQuantity::current: {
            const bool offset = s.setCalIModOffset(p.offset);
            return s.setCalIModGain(p.gain) && offset;
        }
        case CalQuantity::uNominal: {
            const bool offset = s.setCalUSetOffset(p.offset);
            return s.setCalUSetGain(p.gain) && offset;
        }
        case CalQuantity::uInternal: {
            const bool offset = s.setCalUIntOffset(p.offset);
            return s.setCalUIntGain(p.gain) && offset;
        }
        case CalQuantity::iNominal: {
            const bool offset = s.setCalISetOffset(p.offset);
            return s.setCalISetGain(p.gain) && offset;
        }
    }
    return false;
}

int16_t truncatedRaw(double raw) {
    const double t = std::trunc(raw);
    if (t > 32767) return 32767;
    if (t < -32768) return -32768;
    return static_cast<int16_t>(t);
}

constexpr const char* kSenseLowMessage =
    "Measure Sense Voltage low\r\nThis shold be done with almost zero load (Then\r\nSense Voltage and "
    "Terminal Voltage are identical)";
constexpr const char* kSenseHighMessage =
    "Measure Sense Voltage high\r\nThis shold be done with almost zero load (Then\r\nSense Voltage and "
    "Terminal Voltage are identical)";
constexpr const char* kCurrentLowMessage =
    "Measure Current low\r\nThis shold be done with a short circuit at the\r\nload, e.g. with the ampere "
    "meter.";
constexpr const char* kCurrentHighMessage =
    "Measure Current high\r\nThis shold be done with a short circuit at the\r\nload, e.g. with the ampere "
    "meter.";

}  // namespace

const char* calQuantityName(CalQuantity q) {
    return info(q).name;
}

CalibrationMemory& programCalibrationMemory() {
    static CalibrationMemory memory;
    return memory;
}

CalibrationWizard::CalibrationWizard(DialogControls& controls, int crateType, CalibrationHooks hooks,
                                     CalibrationMemory* memory)
    : d_(controls), controllerType_(crateType), hooks_(std::move(hooks)), memory_(memory ? *memory : own_) {}

double CalibrationWizard::averageVolts(int16_t raw) const {
    return channel_ ? channel_->voltageFromRaw(raw) : 0;
}
double CalibrationWizard::averageAmperes(int16_t raw) const {
    return channel_ ? channel_->currentFromRaw(raw) : 0;
}
double CalibrationWizard::presentUnom() const {
    return channel_ ? channel_->voltageFromRaw(channel_->user().Unom) : 0;
}
double CalibrationWizard::presentInom() const {
    return channel_ ? channel_->currentFromRaw(channel_->user().Inom) : 0;
}

void CalibrationWizard::showValues() {
    const int ve = channel_ ? channel_->system().voltageExponent : 0;
    const int ce = channel_ ? channel_->system().currentExponent : 0;
    for (size_t i = 0; i < kCalQuantities; ++i) {
        const QuantityInfo& q = kInfo[i];
        char format[16];
        std::snprintf(format, sizeof format, "%%.%df", decimalsForExponent(q.current ? ce : ve));
        setEditDouble(d_, q.lowReal, values_.low[i].real, format);
        setEditDouble(d_, q.lowModule, values_.low[i].module, format);
        setEditDouble(d_, q.highReal, values_.high[i].real, format);
        setEditDouble(d_, q.highModule, values_.high[i].module, format);
    }
}

void CalibrationWizard::readReal(int id, double& target) {
    getEditDouble(d_, id, target);
}

void CalibrationWizard::captureSense(bool high) {
    auto& side = high ? values_.high : values_.low;
    side[index(CalQuantity::uSense)].module = averageVolts(averages_.uSense());
    side[index(CalQuantity::uNominal)] = {side[index(CalQuantity::uSense)].real, presentUnom()};
}

void CalibrationWizard::captureCurrent(bool high) {
    auto& side = high ? values_.high : values_.low;
    side[index(CalQuantity::current)].module = averageAmperes(averages_.current());
    side[index(CalQuantity::iNominal)] = {side[index(CalQuantity::current)].real, presentInom()};
}

void CalibrationWizard::takeOverRealValues() {
    const bool full = controllerType_ == 16 || controllerType_ == 18;
    for (bool high : {false, true}) {
        auto& side = high ? values_.high : values_.low;
        CalibrationPoint& sense = side[index(CalQuantity::uSense)];
        CalibrationPoint& terminal = side[index(CalQuantity::uTerminal)];
        if (getEditDouble(d_, high ? cal::kSenseHighReal : cal::kSenseLowReal, sense.real)) {
            terminal.real = sense.real;
            captureSense(high);
            terminal.module = averageVolts(averages_.uTerminal());
            side[index(CalQuantity::uInternal)].module = presentUnom();
        } else if (full) {
            getEditDouble(d_, high ? cal::kTermHighReal : cal::kTermLowReal, terminal.real);
        }
    }
    if (getEditDouble(d_, cal::kCurLowReal, values_.low[index(CalQuantity::current)].real))
        captureCurrent(false);
    if (getEditDouble(d_, cal::kCurHighReal, values_.high[index(CalQuantity::current)].real))
        captureCurrent(true);
    if (getEditDouble(d_, cal::kUIntLowReal, values_.low[index(CalQuantity::uInternal)].real))
        values_.low[index(CalQuantity::uInternal)].module = presentUnom();
    if (getEditDouble(d_, cal::kUIntHighReal, values_.high[index(CalQuantity::uInternal)].real))
        values_.high[index(CalQuantity::uInternal)].module = presentUnom();
}

void CalibrationWizard::calibrate(CalQuantity q) {
    if (!channel_) {
        debugLog(kLogError, "calibrate %s: the dialog shows no channel, nothing sent", calQuantityName(q));
        return;
    }
    const int exponent =
        info(q).current ? channel_->system().currentExponent : channel_->system().voltageExponent;
    CalibrationOutcome outcome{q, presentPair(*channel_, q), {}, false, false};
    const CalibrationPair next =
        twoPointCalibration(info(q).kind, values_.low[index(q)], values_.high[index(q)], outcome.before,
                            exponent, &outcome.clamped);
    if (outcome.clamped)
        debugLog(kLogError, "calibrate %s: the computed pair does not fit 16 bits, written clamped",
                 calQuantityName(q));
    outcome.accepted = writePair(*channel_, q, next);
    outcome.after = presentPair(*channel_, q);
    if (hooks_.calibrated) hooks_.calibrated(outcome);
}

void CalibrationWizard::allLow() {
    captureSense(false);
    captureCurrent(false);
}

void CalibrationWizard::allHigh() {
    captureSense(true);
    captureCurrent(true);
    calibrate(CalQuantity::uSense);
    calibrate(CalQuantity::current);
}

void CalibrationWizard::setUnomFraction(double fraction) {
    if (channel_)
        setNominalVolts(channel_,
                        channel_->voltageFromRaw(truncatedRaw(channel_->system().maxUnom * fraction)));
}

void CalibrationWizard::setInomFraction(double fraction) {
    if (channel_) channel_->user().setInom(truncatedRaw(channel_->system().maxInom * fraction));
}

void CalibrationWizard::saveSettings() {
    if (!channel_) return;
    const MODULE_USER_CONFIG& u = channel_->user();
    saved_ = SavedSettings{channel_, u.Unom, u.Inom, (u.flags & kSwitchInternalSense) != 0};
}

void CalibrationWizard::restoreSettings() {
    if (!saved_) return;
    const SavedSettings s = *saved_;
    saved_.reset();
    QOR* const c = s.channel;
    auto tell = [&](const std::string& line) {
        debugLog(kLogInfo, "calibration wizard: %s", line.c_str());
        if (hooks_.restored) hooks_.restored(line);
    };
    // The voltage first: after the current wizard the output stands at its maximum voltage.
    if (c->user().Unom != s.unom) {
        const bool ok = setNominalVolts(c, c->voltageFromRaw(s.unom));
        tell(formatText(255, "U%d set voltage %s %.4f V", c->moduleAddress,
                        ok ? "put back to" : "NOT put back to", c->voltageFromRaw(s.unom)));
    }
    if (c->user().Inom != s.inom) {
        const bool ok = c->user().setInom(s.inom);
        tell(formatText(255, "U%d current limit %s %.4f A", c->moduleAddress,
                        ok ? "put back to" : "NOT put back to", c->currentFromRaw(s.inom)));
    }
    if (((c->user().flags & kSwitchInternalSense) != 0) != s.internalSense) {
        const bool ok = setExternalSense(c, !s.internalSense, hooks_.outputConfigChanged);
        tell(formatText(255, "U%d sense %s %s", c->moduleAddress, ok ? "put back to" : "NOT put back to",
                        s.internalSense ? "internal" : "external (at the load)"));
    }
}

void CalibrationWizard::toggleVoltage() {
    if (running()) {
        restoreSettings();
        state_ = kWizardIdle;
    } else {
        state_ = kVoltageStarted;
    }
    step();
}

void CalibrationWizard::toggleCurrent() {
    if (running()) {
        restoreSettings();
        state_ = kWizardIdle;
    } else {
        state_ = kCurrentStarted;
    }
    step();
}

void CalibrationWizard::reset() {
    restoreSettings();
    state_ = kWizardIdle;
    message_.clear();
}

void CalibrationWizard::step() {
    const int entry = state_;
    auto& low = values_.low;
    auto& high = values_.high;
    switch (state_) {
        case kVoltageStarted:
            saveSettings();
            setExternalSense(channel_, true, hooks_.outputConfigChanged);
            setUnomFraction(0.25);
            focus(cal::kSenseLowReal);
            message_ = kSenseLowMessage;
            state_ = kVoltageLow;
            break;
        case kVoltageLow:
            readReal(cal::kSenseLowReal, low[index(CalQuantity::uSense)].real);
            captureSense(false);
            low[index(CalQuantity::uTerminal)] = {low[index(CalQuantity::uSense)].real,
                                                  averageVolts(averages_.uTerminal())};
            setUnomFraction(0.75);
            focus(cal::kSenseHighReal);
            message_ = kSenseHighMessage;
            state_ = kVoltageHigh;
            break;
        case kVoltageHigh:
            readReal(cal::kSenseHighReal, high[index(CalQuantity::uSense)].real);
            captureSense(true);
            high[index(CalQuantity::uTerminal)] = {high[index(CalQuantity::uSense)].real,
                                                   averageVolts(averages_.uTerminal())};
            calibrate(CalQuantity::uTerminal);
            calibrate(CalQuantity::uSense);
            calibrate(CalQuantity::uNominal);
            if (controllerType_ == 18) {
                // The internal-sense loop has no external reading: the terminal voltage, just
                // calibrated, is the reference. Samples of an output still on its way to the new
                // set point would calibrate the ramp, not the loop: no pair without settled samples.
                auto fresh = [&] { return !hooks_.measureFresh || hooks_.measureFresh(); };
                setExternalSense(channel_, false, hooks_.outputConfigChanged);
                focus(cal::kUIntHighReal);
                state_ = kInternalHigh;
                bool settled = fresh();
                if (settled) {
                    high[index(CalQuantity::uInternal)] = {averageVolts(averages_.uTerminal()),
                                                           presentUnom()};
                    setUnomFraction(0.25);
                    focus(cal::kUIntLowReal);
                    state_ = kInternalLow;
                    settled = fresh();
                }
                if (settled) {
                    low[index(CalQuantity::uInternal)] = {averageVolts(averages_.uTerminal()), presentUnom()};
                    calibrate(CalQuantity::uInternal);
                } else {
                    debugLog(kLogError,
                             "calibrate UInternal: no settled samples, the pair is left as it was");
                }
            }
            restoreSettings();
            if (hooks_.focusOutputConfiguration) hooks_.focusOutputConfiguration(cal::kOutputUnom);
            message_.clear();
            state_ = kWizardIdle;
            break;
        case kCurrentStarted:
            saveSettings();
            setInomFraction(0.25);
            setUnomFraction(1.0);
            focus(cal::kCurLowReal);
            message_ = kCurrentLowMessage;
            state_ = kCurrentLow;
            break;
        case kCurrentLow:
            readReal(cal::kCurLowReal, low[index(CalQuantity::current)].real);
            captureCurrent(false);
            setInomFraction(0.75);
            focus(cal::kCurHighReal);
            message_ = kCurrentHighMessage;
            state_ = kCurrentHigh;
            break;
        case kCurrentHigh:
            readReal(cal::kCurHighReal, high[index(CalQuantity::current)].real);
            captureCurrent(true);
            calibrate(CalQuantity::current);
            calibrate(CalQuantity::iNominal);
            restoreSettings();
            if (hooks_.focusOutputConfiguration) hooks_.focusOutputConfiguration(cal::kOutputInom);
            message_.clear();
            state_ = kWizardIdle;
            break;
        default:
            message_.clear();
            break;
    }
    d_.setText(cal::kMessage, message_);
    debugLog(kLogDebug, "DLG_MODULE_SYSTEM_CONFIG::calibrationWizard: State %d -> %d", entry, state_);
}

}  // namespace vz
