#include "channel/composite_setters.h"

#include <cmath>
#include <utility>

#include "base/debug_log.h"
#include "channel/bound_setters.h"

namespace vz {
namespace {

std::function<void()> refreshHook;

void refreshOutputConfig() {
    if (refreshHook) refreshHook();
}

QOR* dialogChannel(QOR* channel, const char* what) {
    if (channel == nullptr) debugLog(kLogError, "%s: the dialog shows no channel, nothing sent", what);
    return channel;
}

// Truncates toward zero; out-of-range products end at the 16-bit limits instead of wrapping.
int16_t truncatedRaw(double value) {
    const double t = std::trunc(value);
    if (t > 32767.0) return 32767;
    if (t < -32768.0) return -32768;
    return static_cast<int16_t>(t);
}

}  // namespace

void setOutputConfigRefreshHook(std::function<void()> hook) {
    refreshHook = std::move(hook);
}

namespace outputConfig {

bool errorActionField(ErrorActionField field, unsigned code) {
    QOR* channel = dialogChannel(outputConfigChannel, "outputConfig::errorActionField");
    if (channel == nullptr) return false;
    if (code > kSwitchAllOff) {
        debugLog(kLogError, "outputConfig::errorActionField: reaction code %u out of range", code);
        return false;
    }
    const unsigned shift = static_cast<unsigned>(field);
    const unsigned word = (channel->user().errorAction & ~(3u << shift)) | (code << shift);
    return channel->user().setErrorAction(static_cast<uint16_t>(word));
}

bool errorActionMinUSense(unsigned code) {
    return errorActionField(ErrorActionField::minUSense, code);
}
bool errorActionMaxUSense(unsigned code) {
    return errorActionField(ErrorActionField::maxUSense, code);
}
bool errorActionMaxUModule(unsigned code) {
    return errorActionField(ErrorActionField::maxUModule, code);
}
bool errorActionMaxCurrent(unsigned code) {
    return errorActionField(ErrorActionField::maxCurrent, code);
}
bool errorActionTemperature(unsigned code) {
    return errorActionField(ErrorActionField::temperature, code);
}
bool errorActionPower(unsigned code) {
    return errorActionField(ErrorActionField::power, code);
}
bool errorActionTimeout(unsigned code) {
    return errorActionField(ErrorActionField::timeout, code);
}

bool nominalFromFraction(double fraction) {
    QOR* channel = dialogChannel(outputConfigChannel, "outputConfig::nominalFromFraction");
    if (channel == nullptr) return false;
    if (!std::isfinite(fraction)) {
        debugLog(kLogError, "outputConfig::nominalFromFraction: fraction is not a number");
        return false;
    }
    if (!channel->user().setUnom(truncatedRaw(channel->system().maxUnom * fraction))) return false;
    const bool currentSet = channel->user().setInom(truncatedRaw(channel->system().maxInom * fraction));
    refreshOutputConfig();  // Unom changed in any case
    return currentSet;
}

bool externalSense(bool atLoad) {
    QOR* channel = dialogChannel(outputConfigChannel, "outputConfig::externalSense");
    if (channel == nullptr) return false;
    const uint16_t flags = channel->user().flags;
    const uint16_t wanted = atLoad ? static_cast<uint16_t>(flags & ~kSwitchInternalSense)
                                   : static_cast<uint16_t>(flags | kSwitchInternalSense);
    if (!channel->user().setFlags(wanted)) return false;
    refreshOutputConfig();
    return true;
}

bool nominalVolts(double volts) {
    QOR* channel = dialogChannel(outputConfigChannel, "outputConfig::nominalVolts");
    if (channel == nullptr) return false;
    return channel->user().setUnom(channel->voltageToRaw(volts));
}

}  // namespace outputConfig

namespace outputCalibration {

bool voltageExponent(uint8_t exponent) {
    QOR* channel = dialogChannel(outputCalibrationChannel, "outputCalibration::voltageExponent");
    if (channel == nullptr) return false;
    const auto current = static_cast<uint8_t>(channel->system().currentExponent);
    return channel->system().setExponent(static_cast<uint16_t>(exponent | (current << 8)));
}

bool currentExponent(uint8_t exponent) {
    QOR* channel = dialogChannel(outputCalibrationChannel, "outputCalibration::currentExponent");
    if (channel == nullptr) return false;
    const auto voltage = static_cast<uint8_t>(channel->system().voltageExponent);
    return channel->system().setExponent(static_cast<uint16_t>(voltage | (exponent << 8)));
}

}  // namespace outputCalibration
}  // namespace vz
