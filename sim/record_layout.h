#pragma once
// Byte layouts of the module records (firmware, system and user configuration) as field tables,
// so the scenario reader, the parameter writes and the tests name fields the same way.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vsim {

inline constexpr uint32_t kFirmwareBase = 0x0000;
inline constexpr uint32_t kSystemBase = 0x1000;
inline constexpr uint32_t kUserBase = 0x2000;
inline constexpr size_t kFirmwareSize = 20;
inline constexpr size_t kSystemSize = 64;
inline constexpr size_t kUserSize = 64;
inline constexpr size_t kMeasureSize = 32;

// How a raw field is scaled: V and A raw fields use the channel's exponents.
enum class Unit { None, Volt, Ampere };

struct Field {
    std::string_view name;
    uint16_t offset;
    uint8_t width;  // bytes: 1, 2 or 4
    bool isSigned;
    Unit unit;
    bool writable;  // may be changed through the command space
};

std::span<const Field> systemFields();
std::span<const Field> userFields();
// The float pair that WDX modules keep at user offsets 2 and 6 instead of Unom/Inom/rampUp.
std::span<const Field> userFloatFields();

std::optional<Field> findField(std::span<const Field> table, std::string_view name);
std::optional<Field> fieldAt(std::span<const Field> table, uint16_t offset);

// Offsets used by the module logic itself.
namespace sysoff {
inline constexpr uint16_t serialNumber = 0, flags = 4, idModule = 8, voltageExponent = 10,
                          currentExponent = 11, calUModGain = 12, calUModOffset = 14, calIModGain = 16,
                          calIModOffset = 18, calUSenGain = 20, calUSenOffset = 22, calUSetGain = 24,
                          calUSetOffset = 26, calISetGain = 28, calISetOffset = 30, maxUnom = 34,
                          maxInom = 36, maxUSense = 38, maxUTerminal = 40, maxCurrent = 42,
                          maxTemperature = 44, maxPower = 46;
}
namespace useroff {
inline constexpr uint16_t idGroup = 0, Unom = 2, Inom = 4, rampUp = 6, rampDown = 8, errorAction = 10,
                          minUSense = 12, maxUSense = 14, maxUModule = 16, maxCurrent = 18,
                          maxTemperature = 20, maxPower = 22, maxTimeout = 26, flags = 28,
                          delayMinUSense = 32, delayMaxUSense = 34, delayMaxUModule = 36,
                          delayMaxCurrent = 38, delayMaxTemperature = 40, delayMaxPower = 42;
}

}  // namespace vsim
