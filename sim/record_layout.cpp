#include "sim/record_layout.h"

#include <array>

namespace vsim {
namespace {

using U = Unit;

constexpr std::array kSystem{
    Field{"serialNumber", 0, 4, false, U::None, true},
    Field{"flags", 4, 4, false, U::None, true},
    Field{"idModule", 8, 2, false, U::None, false},
    Field{"voltageExponent", 10, 1, true, U::None, false},
    Field{"currentExponent", 11, 1, true, U::None, false},
    Field{"calUModGain", 12, 2, false, U::None, true},
    Field{"calUModOffset", 14, 2, true, U::Volt, true},
    Field{"calIModGain", 16, 2, false, U::None, true},
    Field{"calIModOffset", 18, 2, true, U::Ampere, true},
    Field{"calUSenGain", 20, 2, false, U::None, true},
    Field{"calUSenOffset", 22, 2, true, U::Volt, true},
    Field{"calUSetGain", 24, 2, false, U::None, true},
    Field{"calUSetOffset", 26, 2, true, U::Volt, true},
    Field{"calISetGain", 28, 2, false, U::None, true},
    Field{"calISetOffset", 30, 2, true, U::Ampere, true},
    Field{"phase", 32, 2, false, U::None, true},
    Field{"maxUnom", 34, 2, true, U::Volt, true},
    Field{"maxInom", 36, 2, true, U::Ampere, true},
    Field{"maxUSense", 38, 2, true, U::Volt, true},
    Field{"maxUTerminal", 40, 2, true, U::Volt, true},
    Field{"maxCurrent", 42, 2, true, U::Ampere, true},
    Field{"maxTemperature", 44, 2, true, U::None, true},
    Field{"maxPower", 46, 2, false, U::None, true},
    Field{"pwmOffset", 48, 2, true, U::Volt, true},
    Field{"calUIntGain", 50, 2, false, U::None, true},
    Field{"calUIntOffset", 52, 2, true, U::Volt, true},
    Field{"pwmMaxOnTime", 54, 2, false, U::None, true},
    Field{"pwmMinPeriod", 56, 2, false, U::None, true},
};

constexpr std::array kUser{
    Field{"idGroup", 0, 2, false, U::None, true},
    Field{"Unom", 2, 2, true, U::Volt, true},
    Field{"Inom", 4, 2, true, U::Ampere, true},
    Field{"rampUp", 6, 2, false, U::None, true},
    Field{"rampDown", 8, 2, false, U::None, true},
    Field{"errorAction", 10, 2, false, U::None, true},
    Field{"minUSense", 12, 2, true, U::Volt, true},
    Field{"maxUSense", 14, 2, true, U::Volt, true},
    Field{"maxUModule", 16, 2, true, U::Volt, true},
    Field{"maxCurrent", 18, 2, true, U::Ampere, true},
    Field{"maxTemperature", 20, 2, true, U::None, true},
    Field{"maxPower", 22, 2, false, U::None, true},
    Field{"maxTimeout", 26, 2, false, U::None, true},
    Field{"flags", 28, 2, false, U::None, true},
    Field{"SupervisionDelays.minUSense", 32, 2, false, U::None, true},
    Field{"SupervisionDelays.maxUSense", 34, 2, false, U::None, true},
    Field{"SupervisionDelays.maxUModule", 36, 2, false, U::None, true},
    Field{"SupervisionDelays.maxCurrent", 38, 2, false, U::None, true},
    Field{"SupervisionDelays.maxTemperature", 40, 2, false, U::None, true},
    Field{"SupervisionDelays.maxPower", 42, 2, false, U::None, true},
};

constexpr std::array kUserFloat{
    Field{"ugain", 2, 4, false, U::None, true},
    Field{"igain", 6, 4, false, U::None, true},
};

}  // namespace

std::span<const Field> systemFields() {
    return kSystem;
}
std::span<const Field> userFields() {
    return kUser;
}
std::span<const Field> userFloatFields() {
    return kUserFloat;
}

std::optional<Field> findField(std::span<const Field> table, std::string_view name) {
    for (const Field& f : table)
        if (f.name == name) return f;
    return std::nullopt;
}

std::optional<Field> fieldAt(std::span<const Field> table, uint16_t offset) {
    for (const Field& f : table)
        if (f.offset == offset) return f;
    return std::nullopt;
}

}  // namespace vsim
