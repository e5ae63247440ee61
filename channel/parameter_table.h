#pragma once
// Every parameter of the user and system configuration, described once: the name its box shows, a
// short key for tools, where it sits in its record, its width and type, its unit, and on which
// controllers it exists. The setters, the dialogs' bound setters, the configuration file and vzctl
// all take a parameter from here, so a new parameter or a corrected offset is one line.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "channel/channel_records.h"
#include "channel/module_memory_map.h"

namespace vz {

enum class ParameterRecord : uint8_t { user, system };

enum class ParameterType : uint8_t { int16, uint16, uint32, float32 };

// How a value reads to a person. Volts and amperes are raw numbers scaled with the channel's own
// exponents; every other unit is the number itself.
enum class ParameterUnit : uint8_t {
    none,
    volts,
    amperes,
    gain,       // single-precision scaling factor of the WDX layout
    bits,       // flag bits or 2-bit reaction codes
    exponents,  // two signed bytes: voltage exponent (low), current exponent (high)
    celsius,
    watts,
    milliseconds,
    voltsPerSecond,
};

// On which controllers the module has the parameter. WDX modules keep two floats in user bytes 2..9
// where the others keep Unom, Inom, rampUp and rampDown.
enum class ControllerRule : uint8_t { any, notWdx, wdxOnly };

struct ParameterInfo {
    const char* key;   // "user.Unom", "system.maxInom", "user.SupervisionDelays.minUSense"
    const char* name;  // "MODULE_USER_CONFIG::Unom", as the refusal box names it
    ParameterRecord record;
    uint16_t offset;  // byte offset in the record
    ParameterType type;
    ParameterUnit unit;
    ControllerRule rule = ControllerRule::any;

    constexpr int width() const {
        return type == ParameterType::uint32 || type == ParameterType::float32 ? 4 : 2;
    }
    constexpr uint32_t blockBase() const {
        return record == ParameterRecord::user ? kUserConfigBase : kSystemConfigBase;
    }
    // Where the module takes the command: the command range lies 0x10000 above the block.
    constexpr uint32_t commandAddress() const { return 0x10000 + blockBase() + offset; }
    constexpr bool raw16Scaled() const {
        return unit == ParameterUnit::volts || unit == ParameterUnit::amperes;
    }
};

namespace parameter_table_detail {

using User = MODULE_USER_CONFIG_DATA;
using System = MODULE_SYSTEM_CONFIG_DATA;
using R = ParameterRecord;
using T = ParameterType;
using U = ParameterUnit;
using C = ControllerRule;

constexpr uint16_t delay(std::size_t inDelays) {
    return static_cast<uint16_t>(offsetof(User, SupervisionDelays) + inDelays);
}

#define VZ_SYS(field) R::system, static_cast<uint16_t>(offsetof(System, field))
#define VZ_USR(field) R::user, static_cast<uint16_t>(offsetof(User, field))

inline constexpr ParameterInfo kTable[] = {
    {"system.serialNumber", "MODULE_SYSTEM_CONFIG::serialNumber", VZ_SYS(serialNumber), T::uint32, U::none},
    {"system.flags", "MODULE_SYSTEM_CONFIG::flags", VZ_SYS(flags), T::uint32, U::bits},
    {"system.exponent", "MODULE_SYSTEM_CONFIG::exponent", VZ_SYS(voltageExponent), T::uint16, U::exponents},
    {"system.calUModGain", "MODULE_SYSTEM_CONFIG::calUModGain", VZ_SYS(calUModGain), T::uint16, U::none},
    {"system.calUModOffset", "MODULE_SYSTEM_CONFIG::calUModOffset", VZ_SYS(calUModOffset), T::int16,
     U::volts},
    {"system.calIModGain", "MODULE_SYSTEM_CONFIG::calIModGain", VZ_SYS(calIModGain), T::uint16, U::none},
    {"system.calIModOffset", "MODULE_SYSTEM_CONFIG::calIModOffset", VZ_SYS(calIModOffset), T::int16,
     U::amperes},
    {"system.calUSenGain", "MODULE_SYSTEM_CONFIG::calUSenGain", VZ_SYS(calUSenGain), T::uint16, U::none},
    {"system.calUSenOffset", "MODULE_SYSTEM_CONFIG::calUSenOffset", VZ_SYS(calUSenOffset), T::int16,
     U::volts},
    {"system.calUSetGain", "MODULE_SYSTEM_CONFIG::calUSetGain", VZ_SYS(calUSetGain), T::uint16, U::none},
    {"system.calUSetOffset", "MODULE_SYSTEM_CONFIG::calUSetOffset", VZ_SYS(calUSetOffset), T::int16,
     U::volts},
    {"system.calISetGain", "MODULE_SYSTEM_CONFIG::calISetGain", VZ_SYS(calISetGain), T::uint16, U::none},
    {"system.calISetOffset", "MODULE_SYSTEM_CONFIG::calISetOffset", VZ_SYS(calISetOffset), T::int16,
     U::amperes},
    {"system.phase", "MODULE_SYSTEM_CONFIG::phase", VZ_SYS(phase), T::uint16, U::none},
    {"system.maxUnom", "MODULE_SYSTEM_CONFIG::maxUnom", VZ_SYS(maxUnom), T::int16, U::volts},
    {"system.maxInom", "MODULE_SYSTEM_CONFIG::maxInom", VZ_SYS(maxInom), T::int16, U::amperes},
    {"system.maxUSense", "MODULE_SYSTEM_CONFIG::maxUSense", VZ_SYS(maxUSense), T::int16, U::volts},
    {"system.maxUTerminal", "MODULE_SYSTEM_CONFIG::maxUTerminal", VZ_SYS(maxUTerminal), T::int16, U::volts},
    {"system.maxCurrent", "MODULE_SYSTEM_CONFIG::maxCurrent", VZ_SYS(maxCurrent), T::int16, U::amperes},
    {"system.maxTemperature", "MODULE_SYSTEM_CONFIG::maxTemperature", VZ_SYS(maxTemperature), T::int16,
     U::celsius},
    {"system.maxPower", "MODULE_SYSTEM_CONFIG::maxPower", VZ_SYS(maxPower), T::uint16, U::watts},
    {"system.pwmOffset", "MODULE_SYSTEM_CONFIG::pwmOffset", VZ_SYS(pwmOffset), T::int16, U::volts},
    {"system.calUIntGain", "MODULE_SYSTEM_CONFIG::calUIntGain", VZ_SYS(calUIntGain), T::uint16, U::none},
    {"system.calUIntOffset", "MODULE_SYSTEM_CONFIG::calUIntOffset", VZ_SYS(calUIntOffset), T::int16,
     U::volts},
    {"system.pwmMaxOnTime", "MODULE_SYSTEM_CONFIG::pwmMaxOnTime", VZ_SYS(pwmMaxOnTime), T::uint16, U::none},
    {"system.pwmMinPeriod", "MODULE_SYSTEM_CONFIG::pwmMinPeriod", VZ_SYS(pwmMinPeriod), T::uint16, U::none},

    {"user.idGroup", "MODULE_USER_CONFIG::idGroup", VZ_USR(idGroup), T::uint16, U::none},
    {"user.Unom", "MODULE_USER_CONFIG::Unom", VZ_USR(Unom), T::int16, U::volts, C::notWdx},
    {"user.ugain", "MODULE_USER_CONFIG::ugain", R::user, User::kUgainOffset, T::float32, U::gain, C::wdxOnly},
    {"user.Inom", "MODULE_USER_CONFIG::Inom", VZ_USR(Inom), T::int16, U::amperes, C::notWdx},
    {"user.igain", "MODULE_USER_CONFIG::igain", R::user, User::kIgainOffset, T::float32, U::gain, C::wdxOnly},
    {"user.rampUp", "MODULE_USER_CONFIG::rampUp", VZ_USR(rampUp), T::uint16, U::voltsPerSecond, C::notWdx},
    {"user.rampDown", "MODULE_USER_CONFIG::rampDown", VZ_USR(rampDown), T::uint16, U::voltsPerSecond,
     C::notWdx},
    {"user.errorAction", "MODULE_USER_CONFIG::errorAction", VZ_USR(errorAction), T::uint16, U::bits},
    {"user.minUSense", "MODULE_USER_CONFIG::minUSense", VZ_USR(minUSense), T::int16, U::volts},
    {"user.maxUSense", "MODULE_USER_CONFIG::maxUSense", VZ_USR(maxUSense), T::int16, U::volts},
    {"user.maxUModule", "MODULE_USER_CONFIG::maxUModule", VZ_USR(maxUModule), T::int16, U::volts},
    {"user.maxCurrent", "MODULE_USER_CONFIG::maxCurrent", VZ_USR(maxCurrent), T::int16, U::amperes},
    {"user.maxTemperature", "MODULE_USER_CONFIG::maxTemperature", VZ_USR(maxTemperature), T::int16,
     U::celsius},
    {"user.maxPower", "MODULE_USER_CONFIG::maxPower", VZ_USR(maxPower), T::uint16, U::watts},
    {"user.maxTimeout", "MODULE_USER_CONFIG::maxTimeout", VZ_USR(maxTimeout), T::uint16, U::none},
    {"user.flags", "MODULE_USER_CONFIG::flags", VZ_USR(flags), T::uint16, U::bits},
    {"user.SupervisionDelays.minUSense", "MODULE_USER_CONFIG::SupervisionDelays.minUSense", R::user,
     delay(offsetof(SupervisionDelayData, minUSense)), T::uint16, U::milliseconds},
    {"user.SupervisionDelays.maxUSense", "MODULE_USER_CONFIG::SupervisionDelays.maxUSense", R::user,
     delay(offsetof(SupervisionDelayData, maxUSense)), T::uint16, U::milliseconds},
    {"user.SupervisionDelays.maxUModule", "MODULE_USER_CONFIG::SupervisionDelays.maxUModule", R::user,
     delay(offsetof(SupervisionDelayData, maxUModule)), T::uint16, U::milliseconds},
    {"user.SupervisionDelays.maxCurrent", "MODULE_USER_CONFIG::SupervisionDelays.maxCurrent", R::user,
     delay(offsetof(SupervisionDelayData, maxCurrent)), T::uint16, U::milliseconds},
    {"user.SupervisionDelays.maxTemperature", "MODULE_USER_CONFIG::SupervisionDelays.maxTemperature", R::user,
     delay(offsetof(SupervisionDelayData, maxTemperature)), T::uint16, U::milliseconds},
    {"user.SupervisionDelays.maxPower", "MODULE_USER_CONFIG::SupervisionDelays.maxPower", R::user,
     delay(offsetof(SupervisionDelayData, maxPower)), T::uint16, U::milliseconds},
};

#undef VZ_SYS
#undef VZ_USR

constexpr bool sameText(const char* a, std::string_view b) {
    return std::string_view(a) == b;
}

// Each key once, and each field inside its 64-byte record.
consteval bool tableIsSound() {
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        if (kTable[i].offset + kTable[i].width() > 64) return false;
        for (std::size_t j = i + 1; j < std::size(kTable); ++j)
            if (sameText(kTable[i].key, kTable[j].key)) return false;
    }
    return true;
}
static_assert(tableIsSound());
static_assert(sizeof(User) == 64 && sizeof(System) == 64);

}  // namespace parameter_table_detail

inline constexpr std::span<const ParameterInfo> kParameters{parameter_table_detail::kTable};

// The entry of a key; a key that is not in the table does not compile.
consteval const ParameterInfo& parameter(std::string_view key) {
    for (const ParameterInfo& p : parameter_table_detail::kTable)
        if (parameter_table_detail::sameText(p.key, key)) return p;
    throw "no parameter with this key";
}

// The same at run time, for keys a person typed; nullptr when there is none.
const ParameterInfo* findParameter(std::string_view key);

// Whether a module on this controller type has the parameter.
bool parameterExists(const ParameterInfo& p, int controllerType);

// "V", "A", "ms", ...; empty for plain numbers.
const char* unitSymbol(ParameterUnit unit);

}  // namespace vz
