// The named setters of the user and system configuration. Each forwards to the table-driven write
// with its table entry; the compiler checks that the argument has the entry's type and record.
#include <type_traits>

#include "channel/channel_classes.h"
#include "channel/parameter_access.h"
#include "channel/parameter_table.h"

namespace vz {
namespace {

consteval std::size_t indexOf(std::string_view key) {
    return static_cast<std::size_t>(&parameter(key) - parameter_table_detail::kTable);
}

template <typename V>
consteval ParameterType typeFor() {
    if constexpr (std::is_same_v<V, int16_t>) return ParameterType::int16;
    if constexpr (std::is_same_v<V, uint16_t>) return ParameterType::uint16;
    if constexpr (std::is_same_v<V, uint32_t>) return ParameterType::uint32;
    if constexpr (std::is_same_v<V, float>) return ParameterType::float32;
}

template <std::size_t I, typename Data, typename V>
bool commit(uint16_t moduleAddress, Data& record, V value) {
    constexpr const ParameterInfo& p = parameter_table_detail::kTable[I];
    static_assert(p.type == typeFor<V>(), "setter and table disagree on the type");
    static_assert((p.record == ParameterRecord::user) == std::is_same_v<Data, MODULE_USER_CONFIG_DATA>,
                  "setter and table disagree on the record");
    return writeParameter(moduleAddress, reinterpret_cast<unsigned char*>(&record), p, &value);
}

}  // namespace

#define VZ_USER_SETTER(method, T, key)                                                               \
    bool MODULE_USER_CONFIG::method(T v) {                                                           \
        return commit<indexOf(key)>(moduleAddress, static_cast<MODULE_USER_CONFIG_DATA&>(*this), v); \
    }
#define VZ_SYSTEM_SETTER(method, T, key)                                                               \
    bool MODULE_SYSTEM_CONFIG::method(T v) {                                                           \
        return commit<indexOf(key)>(moduleAddress, static_cast<MODULE_SYSTEM_CONFIG_DATA&>(*this), v); \
    }

VZ_USER_SETTER(setIdGroup, uint16_t, "user.idGroup")
VZ_USER_SETTER(setUnom, int16_t, "user.Unom")
VZ_USER_SETTER(setUgain, float, "user.ugain")
VZ_USER_SETTER(setInom, int16_t, "user.Inom")
VZ_USER_SETTER(setIgain, float, "user.igain")
VZ_USER_SETTER(setRampUp, uint16_t, "user.rampUp")
VZ_USER_SETTER(setRampDown, uint16_t, "user.rampDown")
VZ_USER_SETTER(setErrorAction, uint16_t, "user.errorAction")
VZ_USER_SETTER(setMinUSense, int16_t, "user.minUSense")
VZ_USER_SETTER(setMaxUSense, int16_t, "user.maxUSense")
VZ_USER_SETTER(setMaxUModule, int16_t, "user.maxUModule")
VZ_USER_SETTER(setMaxCurrent, int16_t, "user.maxCurrent")
VZ_USER_SETTER(setMaxTemperature, int16_t, "user.maxTemperature")
VZ_USER_SETTER(setMaxPower, uint16_t, "user.maxPower")
VZ_USER_SETTER(setMaxTimeout, uint16_t, "user.maxTimeout")
VZ_USER_SETTER(setFlags, uint16_t, "user.flags")
VZ_USER_SETTER(setDelayMinUSense, uint16_t, "user.SupervisionDelays.minUSense")
VZ_USER_SETTER(setDelayMaxUSense, uint16_t, "user.SupervisionDelays.maxUSense")
VZ_USER_SETTER(setDelayMaxUModule, uint16_t, "user.SupervisionDelays.maxUModule")
VZ_USER_SETTER(setDelayMaxCurrent, uint16_t, "user.SupervisionDelays.maxCurrent")
VZ_USER_SETTER(setDelayMaxTemperature, uint16_t, "user.SupervisionDelays.maxTemperature")
VZ_USER_SETTER(setDelayMaxPower, uint16_t, "user.SupervisionDelays.maxPower")

VZ_SYSTEM_SETTER(setSerialNumber, uint32_t, "system.serialNumber")
VZ_SYSTEM_SETTER(setFlags, uint32_t, "system.flags")
VZ_SYSTEM_SETTER(setExponent, uint16_t, "system.exponent")  // low byte voltage, high byte current
VZ_SYSTEM_SETTER(setCalUModGain, uint16_t, "system.calUModGain")
VZ_SYSTEM_SETTER(setCalUModOffset, int16_t, "system.calUModOffset")
VZ_SYSTEM_SETTER(setCalIModGain, uint16_t, "system.calIModGain")
VZ_SYSTEM_SETTER(setCalIModOffset, int16_t, "system.calIModOffset")
VZ_SYSTEM_SETTER(setCalUSenGain, uint16_t, "system.calUSenGain")
VZ_SYSTEM_SETTER(setCalUSenOffset, int16_t, "system.calUSenOffset")
VZ_SYSTEM_SETTER(setCalUSetGain, uint16_t, "system.calUSetGain")
VZ_SYSTEM_SETTER(setCalUSetOffset, int16_t, "system.calUSetOffset")
VZ_SYSTEM_SETTER(setCalISetGain, uint16_t, "system.calISetGain")
VZ_SYSTEM_SETTER(setCalISetOffset, int16_t, "system.calISetOffset")
VZ_SYSTEM_SETTER(setPhase, uint16_t, "system.phase")
VZ_SYSTEM_SETTER(setMaxUnom, int16_t, "system.maxUnom")
VZ_SYSTEM_SETTER(setMaxInom, int16_t, "system.maxInom")
VZ_SYSTEM_SETTER(setMaxUSense, int16_t, "system.maxUSense")
VZ_SYSTEM_SETTER(setMaxUTerminal, int16_t, "system.maxUTerminal")
VZ_SYSTEM_SETTER(setMaxCurrent, int16_t, "system.maxCurrent")
VZ_SYSTEM_SETTER(setMaxTemperature, int16_t, "system.maxTemperature")
VZ_SYSTEM_SETTER(setMaxPower, uint16_t, "system.maxPower")
VZ_SYSTEM_SETTER(setPwmOffset, int16_t, "system.pwmOffset")
VZ_SYSTEM_SETTER(setCalUIntGain, uint16_t, "system.calUIntGain")
VZ_SYSTEM_SETTER(setCalUIntOffset, int16_t, "system.calUIntOffset")
VZ_SYSTEM_SETTER(setPwmMaxOnTime, uint16_t, "system.pwmMaxOnTime")
VZ_SYSTEM_SETTER(setPwmMinPeriod, uint16_t, "system.pwmMinPeriod")

#undef VZ_USER_SETTER
#undef VZ_SYSTEM_SETTER

}  // namespace vz
