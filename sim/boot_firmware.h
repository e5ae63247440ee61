#pragma once
// The module processor's own firmware as the updater sees it: a boot loader and an application
// over real program memory, EEPROM and configuration memory. Both answer the 8-byte command frames
// written to the module's command page 0xC000, with their data in the module's buffer at 0xD000.
// The version each reports is read from its own program memory, so a module runs what was written.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/module_processor.h"

namespace vsim {

// Result words of the command frames (0 done).
namespace bootResult {
inline constexpr uint16_t ok = 0;
inline constexpr uint16_t unknownCommand = 1;
inline constexpr uint16_t badSize = 2;
inline constexpr uint16_t badChecksum = 3;
inline constexpr uint16_t noMemory = 4;  // the addressed memory does not exist
inline constexpr uint16_t busy = 5;      // the previous flash row is still being written
inline constexpr uint16_t notInBootLoader = 6;
inline constexpr uint16_t badParameter = 7;
inline constexpr uint16_t noApplication = 8;  // nothing to start at that address
}  // namespace bootResult

struct FirmwareVersion {
    uint8_t major = 0, minor = 0;
    uint16_t third = 0, fourth = 0;
    uint8_t day = 0, month = 0;
    uint16_t year = 0;
    uint8_t second = 0, minute = 0, hour = 0;
};

struct BootFirmwareDef {
    ProcessorModel processor;
    FirmwareVersion bootLoader;
    std::optional<FirmwareVersion> application;  // none: a blank module with only its boot loader
    int applicationRows = 24;                    // rows of code from device address 0x100
    bool startInBootLoader = false;
    uint32_t seed = 1;  // varies the generated code and EEPROM
};

// Where the generated images keep things (device addresses).
inline constexpr uint32_t kAppStart = 0x100;
inline constexpr uint32_t kAppVersionAt = 0x180;
inline constexpr uint32_t kBootLoaderStart = 0x7E00;
inline constexpr uint32_t kBootLoaderVersionAt = 0x7E40;

class BootFirmware {
  public:
    explicit BootFirmware(const BootFirmwareDef& def);

    // One command frame; buffer is the module's data buffer. nullopt while the processor restarts
    // (nobody answers on the CAN bus).
    std::optional<uint16_t> command(const std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer,
                                    int64_t nowUs);

    bool bootLoaderRuns(int64_t nowUs) const;
    uint32_t instruction(uint32_t deviceAddress) const { return pm_.at(deviceAddress / 2); }
    uint16_t eepromWord(size_t i) const { return eeprom_.at(i); }
    const ProcessorModel& processor() const { return def_.processor; }
    uint32_t parameter(int nr) const;
    // Flash rows written since start (program memory, EEPROM and configuration).
    int rowsWritten() const { return rowsWritten_; }

    // What the processor keeps over a power cycle: its memories, start parameters and which firmware
    // runs (sim/crate_state.cpp keeps it in the crate's state file).
    struct Persistent {
        std::vector<uint32_t> programMemory;
        std::vector<uint16_t> eeprom;
        std::vector<uint16_t> config;
        std::map<int, uint32_t> parameters;
        bool bootLoaderRuns = false;
    };
    Persistent persistent() const;
    // False (nothing changed) when the memories' sizes are not this processor's.
    bool restorePersistent(const Persistent& state);
    const std::map<int, uint32_t>& parameters() const { return parameters_; }

  private:
    uint16_t readProgram(uint32_t adr, uint32_t size, std::vector<uint8_t>& out) const;
    uint16_t readEeprom(uint32_t adr, uint32_t words, std::vector<uint8_t>& out) const;
    uint16_t readConfig(uint32_t adr, uint32_t size, std::vector<uint8_t>& out) const;
    std::vector<uint8_t> versionRecord(uint32_t at) const;
    void restart(bool intoBootLoader, int64_t nowUs);

    BootFirmwareDef def_;
    std::vector<uint32_t> pm_;  // 24-bit instructions
    std::vector<uint16_t> eeprom_;
    std::vector<uint16_t> config_;
    std::map<int, uint32_t> parameters_;
    bool bootLoaderRuns_;
    int64_t restartUntilUs_ = 0;
    bool restartIntoBootLoader_ = false;
    int64_t flashBusyUntilUs_ = 0;
    int rowsWritten_ = 0;
};

}  // namespace vsim
