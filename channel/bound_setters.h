#pragma once
// Setters bound to the channel a dialog shows, as one-argument callbacks that the dialog field helpers
// take as accept callbacks. The dialog owns its channel pointer (nullptr while it shows none) and the
// callbacks; each callback reads the pointer when it is called, so it follows the dialog from channel
// to channel, and sends nothing, logging why, while the dialog shows no channel.
#include <cstdint>
#include <functional>
#include <type_traits>

#include "base/debug_log.h"
#include "channel/channel_classes.h"
#include "channel/composite_setters.h"
#include "channel/parameter_access.h"
#include "channel/parameter_table.h"

namespace vz {

// The parameter's setter on the dialog's channel; V is the parameter's raw type (int16_t, uint16_t,
// uint32_t or float; ParameterValue for any).
template <typename V>
std::function<bool(V)> bindSetter(QOR* const& channel, const ParameterInfo& p) {
    static_assert(std::is_constructible_v<ParameterValue, V>);
    return [slot = &channel, info = &p](V value) {
        if (*slot == nullptr) {
            debugLog(kLogError, "%s: the dialog shows no channel, nothing sent", info->name);
            return false;
        }
        return setParameter(**slot, *info, ParameterValue{value});
    };
}
// The pointer must outlive the callback: a temporary would not.
template <typename V>
std::function<bool(V)> bindSetter(QOR* const&& channel, const ParameterInfo& p) = delete;

// A composite setter (composite_setters.h) on the dialog's channel.
template <typename A>
std::function<bool(A)> bindComposite(QOR* const& channel, bool (*setter)(QOR*, A)) {
    return [slot = &channel, setter](A value) { return setter(*slot, value); };
}
template <typename A>
std::function<bool(A)> bindComposite(QOR* const&& channel, bool (*setter)(QOR*, A)) = delete;
// The same for a setter that tells when the output configuration dialog must re-read its channel.
template <typename A>
std::function<bool(A)> bindComposite(QOR* const& channel, bool (*setter)(QOR*, A, const OutputConfigChanged&),
                                     OutputConfigChanged changed) {
    return [slot = &channel, setter, changed = std::move(changed)](A value) {
        return setter(*slot, value, changed);
    };
}
template <typename A>
std::function<bool(A)> bindComposite(QOR* const&& channel,
                                     bool (*setter)(QOR*, A, const OutputConfigChanged&),
                                     OutputConfigChanged changed) = delete;

inline std::function<bool(unsigned)> bindErrorActionField(QOR* const& channel, ErrorActionField field) {
    return [slot = &channel, field](unsigned code) { return setErrorActionField(*slot, field, code); };
}
std::function<bool(unsigned)> bindErrorActionField(QOR* const&& channel, ErrorActionField field) = delete;

inline std::function<bool(uint8_t)> bindExponentByte(QOR* const& channel, ExponentByte which) {
    return [slot = &channel, which](uint8_t exponent) { return setExponentByte(*slot, which, exponent); };
}
std::function<bool(uint8_t)> bindExponentByte(QOR* const&& channel, ExponentByte which) = delete;

}  // namespace vz
