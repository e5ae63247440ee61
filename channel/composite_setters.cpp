#include "channel/composite_setters.h"

#include <cmath>
#include <utility>

#include "base/debug_log.h"

namespace vz {
namespace {

QOR* shown(QOR* channel, const char* what) {
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

bool setErrorActionField(QOR* channel, ErrorActionField field, unsigned code) {
    if (!shown(channel, "errorActionField")) return false;
    if (code > kSwitchAllOff) {
        debugLog(kLogError, "errorActionField: reaction code %u out of range", code);
        return false;
    }
    const unsigned shift = static_cast<unsigned>(field);
    const unsigned word = (channel->user().errorAction & ~(3u << shift)) | (code << shift);
    return channel->user().setErrorAction(static_cast<uint16_t>(word));
}

bool setExponentByte(QOR* channel, ExponentByte which, uint8_t exponent) {
    if (!shown(channel, which == ExponentByte::voltage ? "voltageExponent" : "currentExponent")) return false;
    const auto voltage = static_cast<uint8_t>(channel->system().voltageExponent);
    const auto current = static_cast<uint8_t>(channel->system().currentExponent);
    const uint16_t pair = which == ExponentByte::voltage ? static_cast<uint16_t>(exponent | (current << 8))
                                                         : static_cast<uint16_t>(voltage | (exponent << 8));
    return channel->system().setExponent(pair);
}

bool setNominalFromFraction(QOR* channel, double fraction, const OutputConfigChanged& changed) {
    if (!shown(channel, "nominalFromFraction")) return false;
    if (!std::isfinite(fraction)) {
        debugLog(kLogError, "nominalFromFraction: fraction is not a number");
        return false;
    }
    if (!channel->user().setUnom(truncatedRaw(channel->system().maxUnom * fraction))) return false;
    const bool currentSet = channel->user().setInom(truncatedRaw(channel->system().maxInom * fraction));
    if (changed) changed();  // Unom changed in any case
    return currentSet;
}

bool setExternalSense(QOR* channel, bool atLoad, const OutputConfigChanged& changed) {
    if (!shown(channel, "externalSense")) return false;
    const uint16_t flags = channel->user().flags;
    const uint16_t wanted = atLoad ? static_cast<uint16_t>(flags & ~kSwitchInternalSense)
                                   : static_cast<uint16_t>(flags | kSwitchInternalSense);
    if (!channel->user().setFlags(wanted)) return false;
    if (changed) changed();
    return true;
}

bool setNominalVolts(QOR* channel, double volts) {
    if (!shown(channel, "nominalVolts")) return false;
    return channel->user().setUnom(channel->voltageToRaw(volts));
}

}  // namespace vz
