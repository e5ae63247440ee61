#pragma once
// Reading and writing a parameter of a channel through its table entry: the one path every setter
// takes, whether it was called by name, bound by a dialog, applied from a file or typed into vzctl.
#include <cstdint>
#include <optional>
#include <variant>

#include "channel/channel_classes.h"
#include "channel/parameter_table.h"

namespace vz {

// A raw value of a parameter, of exactly the parameter's type.
using ParameterValue = std::variant<int16_t, uint16_t, uint32_t, float>;

ParameterType typeOf(const ParameterValue& value);

// Sends the parameter's bytes to the module at the entry's command address and stores them in the
// local record only when the module accepted them; a refusal is shown by commandParameter. A value of
// another type than the entry's is a programming error: logged, nothing sent.
bool setParameter(QOR& channel, const ParameterInfo& p, const ParameterValue& value);

// The same on the bytes of one record, for the facets' own setters.
bool writeParameter(uint16_t moduleAddress, unsigned char* record, const ParameterInfo& p, const void* bytes);

// Modules whose local records may be stale: a write went unanswered and the read that was to settle
// it failed as well, so the module may or may not hold the new value. The polling reads their records
// again until that succeeds.
bool recordsUncertain(uint16_t moduleAddress);
void clearRecordsUncertain(uint16_t moduleAddress);
void resetRecordCertainty();

// What the local record holds.
ParameterValue readParameter(const QOR& channel, const ParameterInfo& p);

// Volts and amperes with the channel's exponents; every other parameter as its number.
double physicalValue(const QOR& channel, const ParameterInfo& p);

// The raw value for a physical one; nullopt when it has no raw value: beyond the 16-bit raw range,
// not a whole number for an integer parameter, out of the type's range, or not finite.
std::optional<ParameterValue> valueFromPhysical(const QOR& channel, const ParameterInfo& p, double physical);

// An integer cut to the parameter's width, as the configuration file's integers are applied.
ParameterValue truncatedValue(const ParameterInfo& p, long long value);

}  // namespace vz
