#pragma once
// Setters that change part of a parameter or derive it from another value, built on the single
// parameter setters. Each acts on the channel a dialog shows and sends nothing, logging why, when the
// dialog shows none (nullptr).
#include <cstdint>
#include <functional>

#include "channel/channel_classes.h"

namespace vz {

// Replaces one 2-bit reaction code in errorAction and writes the whole word. Codes above 3 are
// refused without sending.
bool setErrorActionField(QOR* channel, ErrorActionField field, unsigned code);

enum class ExponentByte { voltage, current };
// Writes the exponent pair with one byte replaced and the other as held.
bool setExponentByte(QOR* channel, ExponentByte which, uint8_t exponent);

// Told after a composite setter changed what the output configuration dialog shows, so that it
// re-reads its channel; the caller passes what its owner wants done (nothing when empty).
using OutputConfigChanged = std::function<void()>;

// Unom := maxUnom · fraction and Inom := maxInom · fraction, truncated toward zero and kept within
// 16 bits. Stops at the first refusal; tells changed when anything was stored.
bool setNominalFromFraction(QOR* channel, double fraction, const OutputConfigChanged& changed);

// true: the output senses at the load (clears internal sense, user flag bit 3); false: sets it.
// Tells changed when the module took it.
bool setExternalSense(QOR* channel, bool atLoad, const OutputConfigChanged& changed);

// Unom := voltageToRaw(volts).
bool setNominalVolts(QOR* channel, double volts);

}  // namespace vz
