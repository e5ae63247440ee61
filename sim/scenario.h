#pragma once
// What a scenario file describes, after reading: bridges, and behind each bridge a crate with its
// controller, modules, loads and faults. Records are held as the bytes the modules will serve.
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot_firmware.h"
#include "sim/fault_rule.h"
#include "sim/tms320_settings.h"
#include "sim/virtual_crate.h"

namespace vsim {

// How far one analogue path of a module is from ideal: what it delivers is gain · value + offset
// (volts or amperes), before the module's own calibration pair corrects it.
struct AnalogError {
    double gain = 1;
    double offset = 0;
};

// The module's six calibrated paths, in the order the scenario names them.
enum class AnalogPath { uSense, uTerminal, current, uSet, uInternal, iSet };
inline constexpr size_t kAnalogPaths = 6;

struct ModuleDef {
    int channel = 0;
    std::array<uint8_t, 20> firmware{};
    std::array<uint8_t, 64> system{};
    std::array<uint8_t, 64> user{};
    bool on = false;                             // output switched on at start
    double loadOhms = 0;                         // resistive load at the output; 0: nothing connected
    double switchOhms = 0;                       // a switching load's second resistance (0: open)
    int64_t switchPeriodUs = 0;                  // a switching load's period; 0: the load stays
    double cableOhms = 0.01;                     // between terminals and sense point
    double ambientC = 25;                        // temperature with the output off
    double heatCPerW = 0.5;                      // temperature rise per watt delivered
    std::array<int16_t, 8> boardTemperatures{};  // boards that report temperatures instead
    uint16_t cacheWordLow = 0;
    uint16_t cacheWordHigh = 0;
    uint16_t extraStatus = 0;  // status bits forced on, for flags the physics does not produce
    uint32_t jovaInputs = 0;   // JOVA boards: the pins the test fixture drives high
    std::array<AnalogError, kAnalogPaths> analogError{};  // ideal unless the scenario says otherwise
    BootFirmwareDef bootFirmware;                         // processor, boot loader and application
};

struct ControllerDef {
    int type = 18;
    bool snmp = false;
    int cacheChannels = 0;  // 0, 12 or 16
    int canTimeoutMs = 100;
    bool absentSilent = false;
    bool lineRate = false;
    std::array<uint8_t, 60> config{};           // the controller's own configuration record
    std::optional<uint32_t> configWordAddress;  // default by type and cache size
    Tms320Def dsp;                              // the controller's processor and its flash
};

struct CrateDef {
    ControllerDef controller;
    std::vector<ModuleDef> modules;
    std::vector<FaultRule> faults;
    uint32_t seed = 1;
};

struct BridgeDef {
    BridgeInfo info;
    bool plugged = true;
    CrateDef crate;
};

struct Scenario {
    std::vector<BridgeDef> bridges;
    std::string stateFile;       // where the crate keeps its state, as written; empty: nowhere
    bool keepOutputsOn = false;  // outputs come back as they were when a state is loaded
};

// Bounds of a scenario: real ones are a few KiB. Beyond these a text is refused before it is read,
// so a hostile or mistaken file (a device, a huge or deeply nested document) costs little.
inline constexpr size_t kMaxScenarioBytes = 1024 * 1024;
inline constexpr size_t kMaxScenarioDepth = 32;
inline constexpr size_t kMaxArrayElements = 10000;
inline constexpr size_t kMaxFaultRules = 1000;  // every exchange walks them

// Reads a scenario; on failure returns nullopt and sets error to a text naming the JSON path.
std::optional<Scenario> parseScenario(const std::string& jsonText, std::string& error);
// The built-in scenario behind the port name SIM.
const char* defaultScenarioJson();

}  // namespace vsim
