#pragma once
// The four data records of a channel: byte-exact copies of the module's memory blocks. They are read
// and written as whole byte blocks, so every field sits at the module's own offset; the asserts below
// pin each one. Multi-byte fields are little-endian on the wire and are used as native integers here.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vz {

static_assert(std::endian::native == std::endian::little,
              "module records are little-endian byte copies used as native integers");

// Firmware identification, module address 0x0000.
struct MODULE_FIRMWARE_DATA {
    char name[16] = {};    // not necessarily terminated
    uint32_t version = 0;  // shown as byte 19.18.17.16
};

// Factory configuration and calibration, module address 0x1000.
struct MODULE_SYSTEM_CONFIG_DATA {
    uint32_t serialNumber = 0;
    uint32_t flags = 0;  // system flag bits; bits 8..31 are carried unchanged
    uint16_t idModule = 0;
    int8_t voltageExponent = 0;  // V raw · 2^voltageExponent volts
    int8_t currentExponent = 0;  // A raw · 2^currentExponent amperes
    uint16_t calUModGain = 0;
    int16_t calUModOffset = 0;
    uint16_t calIModGain = 0;
    int16_t calIModOffset = 0;
    uint16_t calUSenGain = 0;
    int16_t calUSenOffset = 0;
    uint16_t calUSetGain = 0;
    int16_t calUSetOffset = 0;
    uint16_t calISetGain = 0;
    int16_t calISetOffset = 0;
    uint16_t phase = 0;
    int16_t maxUnom = 0;
    int16_t maxInom = 0;
    int16_t maxUSense = 0;
    int16_t maxUTerminal = 0;
    int16_t maxCurrent = 0;
    int16_t maxTemperature = 0;
    uint16_t maxPower = 0;
    int16_t pwmOffset = 0;
    uint16_t calUIntGain = 0;
    int16_t calUIntOffset = 0;
    uint16_t pwmMaxOnTime = 0;
    uint16_t pwmMinPeriod = 0;  // ticks of 50 ns
    uint8_t reserved58[6] = {};
};

enum SystemFlagBits : uint32_t {
    kInputStageBias = 0x01,
    kSwitchCurrentGain = 0x02,
    kIsMaster = 0x04,
    kIsSlave = 0x08,
    kClockDisable = 0x10,
    kIsPcbCx = 0x20,
    kPwmAdjustUmod = 0x40,
    kPwmVariableFrequency = 0x80,
};

struct SupervisionDelayData {  // milliseconds
    uint16_t minUSense = 0;
    uint16_t maxUSense = 0;
    uint16_t maxUModule = 0;
    uint16_t maxCurrent = 0;
    uint16_t maxTemperature = 0;
    uint16_t maxPower = 0;
};

// User configuration, module address 0x2000. On WDX controllers bytes 2..9 hold the two scaling
// floats instead of Unom, Inom, rampUp and rampDown; see ugain() and igain().
struct MODULE_USER_CONFIG_DATA {
    uint16_t idGroup = 0;
    int16_t Unom = 0;
    int16_t Inom = 0;
    uint16_t rampUp = 0;
    uint16_t rampDown = 0;
    uint16_t errorAction = 0;  // seven 2-bit ErrorAction codes
    int16_t minUSense = 0;
    int16_t maxUSense = 0;
    int16_t maxUModule = 0;
    int16_t maxCurrent = 0;
    int16_t maxTemperature = 0;
    uint16_t maxPower = 0;
    uint8_t reserved24[2] = {};
    uint16_t maxTimeout = 0;
    uint16_t flags = 0;  // user flag bits
    uint8_t reserved30[2] = {};
    SupervisionDelayData SupervisionDelays;
    uint8_t reserved44[20] = {};

    static constexpr std::size_t kUgainOffset = 2;
    static constexpr std::size_t kIgainOffset = 6;

    // WDX layout: the floats overlay the integer fields, so they go through the bytes.
    float ugain() const { return floatAt(kUgainOffset); }
    float igain() const { return floatAt(kIgainOffset); }
    void storeUgain(float value) { storeFloatAt(kUgainOffset, value); }
    void storeIgain(float value) { storeFloatAt(kIgainOffset, value); }

  private:
    float floatAt(std::size_t offset) const {
        float value;
        std::memcpy(&value, reinterpret_cast<const unsigned char*>(this) + offset, sizeof value);
        return value;
    }
    void storeFloatAt(std::size_t offset, float value) {
        std::memcpy(reinterpret_cast<unsigned char*>(this) + offset, &value, sizeof value);
    }
};

enum UserFlagBits : uint16_t {
    kSwitchOffNoRamp = 0x01,
    kSwitchModuleReg = 0x02,
    kSwitchSlowReg = 0x04,
    kSwitchInternalSense = 0x08,
    kEnableExternalInhibit = 0x10,
    kDisableGlobalInhibit = 0x20,
    kAutoPowerOn = 0x40,
    kRelaxSupervOnPowerup = 0x80,
};

// Reaction to a supervision failure, one 2-bit code per field of errorAction.
enum ErrorAction : unsigned {
    kIgnoreFailure = 0,
    kSwitchChannelOff = 1,
    kSwitchGroupOff = 2,
    kSwitchAllOff = 3,
};

// Position of each supervision's code in errorAction (bits 12-13 are unused and carried).
enum class ErrorActionField : unsigned {
    minUSense = 0,
    maxUSense = 2,
    maxUModule = 4,
    maxCurrent = 6,
    temperature = 8,
    power = 10,
    timeout = 14,
};

// Measurements: four blocks of 8 bytes.
struct MODULE_MEASURE_DATA {
    uint16_t status = 0;
    int16_t uSense = 0;
    int16_t current = 0;
    int16_t uTerminal = 0;    // 0x8000 and 0x7FFF are markers, not voltages
    int16_t temperature = 0;  // -32768 and 32767 are the same two markers
    uint16_t block1Rest[3] = {};
    uint16_t rx0Overflow = 0;
    uint16_t rx1Overflow = 0;
    uint32_t rx0Count = 0;
    uint32_t idle = 0;  // rx1Count on controllers other than QX308 and KRAT
    uint32_t mainCounter = 0;

    // Boards of kind 4 keep eight temperatures at bytes 8..23 instead.
    static constexpr int kBoardTemperatureCount = 8;
    static constexpr std::size_t kBoardTemperatureOffset = 8;
    int16_t boardTemperature(int index) const {
        int16_t value = 0;
        if (index < 0 || index >= kBoardTemperatureCount) return value;
        std::memcpy(&value,
                    reinterpret_cast<const unsigned char*>(this) + kBoardTemperatureOffset +
                        static_cast<std::size_t>(index) * sizeof value,
                    sizeof value);
        return value;
    }
};

static_assert(sizeof(MODULE_FIRMWARE_DATA) == 20);
static_assert(offsetof(MODULE_FIRMWARE_DATA, name) == 0);
static_assert(offsetof(MODULE_FIRMWARE_DATA, version) == 16);

static_assert(sizeof(MODULE_SYSTEM_CONFIG_DATA) == 64);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, serialNumber) == 0);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, flags) == 4);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, idModule) == 8);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, voltageExponent) == 10);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, currentExponent) == 11);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUModGain) == 12);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUModOffset) == 14);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calIModGain) == 16);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calIModOffset) == 18);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUSenGain) == 20);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUSenOffset) == 22);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUSetGain) == 24);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUSetOffset) == 26);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calISetGain) == 28);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calISetOffset) == 30);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, phase) == 32);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxUnom) == 34);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxInom) == 36);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxUSense) == 38);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxUTerminal) == 40);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxCurrent) == 42);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxTemperature) == 44);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, maxPower) == 46);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, pwmOffset) == 48);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUIntGain) == 50);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, calUIntOffset) == 52);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, pwmMaxOnTime) == 54);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, pwmMinPeriod) == 56);
static_assert(offsetof(MODULE_SYSTEM_CONFIG_DATA, reserved58) == 58);

static_assert(sizeof(SupervisionDelayData) == 12);
static_assert(sizeof(MODULE_USER_CONFIG_DATA) == 64);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, idGroup) == 0);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, Unom) == 2);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, Inom) == 4);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, rampUp) == 6);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, rampDown) == 8);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, errorAction) == 10);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, minUSense) == 12);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, maxUSense) == 14);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, maxUModule) == 16);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, maxCurrent) == 18);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, maxTemperature) == 20);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, maxPower) == 22);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, reserved24) == 24);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, maxTimeout) == 26);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, flags) == 28);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, reserved30) == 30);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, SupervisionDelays) == 32);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, SupervisionDelays) +
                  offsetof(SupervisionDelayData, maxPower) ==
              42);
static_assert(offsetof(MODULE_USER_CONFIG_DATA, reserved44) == 44);

static_assert(sizeof(MODULE_MEASURE_DATA) == 32);
static_assert(offsetof(MODULE_MEASURE_DATA, status) == 0);
static_assert(offsetof(MODULE_MEASURE_DATA, uSense) == 2);
static_assert(offsetof(MODULE_MEASURE_DATA, current) == 4);
static_assert(offsetof(MODULE_MEASURE_DATA, uTerminal) == 6);
static_assert(offsetof(MODULE_MEASURE_DATA, temperature) == 8);
static_assert(offsetof(MODULE_MEASURE_DATA, block1Rest) == 10);
static_assert(offsetof(MODULE_MEASURE_DATA, rx0Overflow) == 16);
static_assert(offsetof(MODULE_MEASURE_DATA, rx1Overflow) == 18);
static_assert(offsetof(MODULE_MEASURE_DATA, rx0Count) == 20);
static_assert(offsetof(MODULE_MEASURE_DATA, idle) == 24);
static_assert(offsetof(MODULE_MEASURE_DATA, mainCounter) == 28);

static_assert(std::is_standard_layout_v<MODULE_FIRMWARE_DATA> &&
              std::is_trivially_copyable_v<MODULE_FIRMWARE_DATA>);
static_assert(std::is_standard_layout_v<MODULE_SYSTEM_CONFIG_DATA> &&
              std::is_trivially_copyable_v<MODULE_SYSTEM_CONFIG_DATA>);
static_assert(std::is_standard_layout_v<MODULE_USER_CONFIG_DATA> &&
              std::is_trivially_copyable_v<MODULE_USER_CONFIG_DATA>);
static_assert(std::is_standard_layout_v<MODULE_MEASURE_DATA> &&
              std::is_trivially_copyable_v<MODULE_MEASURE_DATA>);

}  // namespace vz
