#pragma once
// One power-supply module behind the controller: its records, its parameter writes validated as
// the module firmware does, its measurement blocks and its output.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/boot_firmware.h"
#include "sim/jova_io.h"
#include "sim/output_model.h"
#include "sim/scenario.h"
#include "sim/trace_recorder.h"

namespace vsim {

// Result words of a parameter write; 0 means stored.
namespace result {
inline constexpr uint16_t ok = 0;
inline constexpr uint16_t unknownParameter = 1;  // no writable field starts at that address
inline constexpr uint16_t badLength = 2;         // data length does not match the field
inline constexpr uint16_t outOfRange = 3;        // value outside what the module allows
}  // namespace result

class Module {
  public:
    Module(const ModuleDef& def, int controllerType);

    int channel() const { return channel_; }
    void setChannel(int channel);
    uint32_t serialNumber() const;
    uint16_t idGroup() const;
    // Boards that report eight temperatures instead of an output.
    bool isTemperatureBoard() const { return board_; }

    const std::array<uint8_t, 20>& firmware() const { return firmware_; }
    const std::array<uint8_t, 64>& system() const { return system_; }
    const std::array<uint8_t, 64>& user() const { return user_; }
    const JovaIo* jova() const { return jova_ ? &*jova_ : nullptr; }
    const TraceRecorder& trace() const { return trace_; }

    // Byte-addressed memory; false for addresses the module does not have.
    bool readMemory(uint32_t address, size_t length, std::vector<uint8_t>& out) const;
    bool writeMemory(uint32_t address, const std::vector<uint8_t>& data);
    // A write to the parameter pages (address without the command-space bit); returns the result word.
    uint16_t writeParameter(uint32_t address, const std::vector<uint8_t>& data);
    // A command frame for the processor's boot loader or application (page 0xC000); nullopt while
    // the processor restarts and nobody answers.
    std::optional<uint16_t> bootCommand(const std::vector<uint8_t>& frame, int64_t nowUs);
    static bool isBootCommandAddress(uint32_t address) { return (address & 0xF000) == 0xC000; }
    BootFirmware& bootFirmware() { return boot_; }
    const BootFirmware& bootFirmware() const { return boot_; }

    // The 32-byte measurement record as the module reports it now.
    std::array<uint8_t, 32> measurement() const;
    // A switch command word; `global` when it came through a broadcast or group address.
    void command(uint16_t word, bool global);

    bool active() const;
    int step(int64_t dtUs);
    void trip();
    void countFrame() { ++framesReceived_; }

    OutputSettings settings() const;
    // What a multimeter at the output reads now: the physical sense voltage, terminal voltage and
    // current, before the measurement paths and their calibration.
    OutputReadings trueReadings() const { return output_.readings(settings()); }
    const OutputModel& output() const { return output_; }
    double loadOhms() const { return def_.loadOhms; }
    void setLoadOhms(double ohms) { def_.loadOhms = ohms; }
    uint16_t cacheWordLow() const { return def_.cacheWordLow; }
    uint16_t cacheWordHigh() const { return def_.cacheWordHigh; }

    // Rises with every change the module keeps over a power cycle (a record written, a flash row, a
    // start parameter, the other firmware started) and with every switching of its output.
    uint64_t changeCount() const { return changes_; }
    // The state a power cycle keeps, put back: the records as stored, and the output on or off.
    void restoreRecords(const std::array<uint8_t, 20>& firmware, const std::array<uint8_t, 64>& system,
                        const std::array<uint8_t, 64>& user);
    void restoreOutput(bool on);
    bool outputOn() const { return output_.isOn(); }

  private:
    void switchCommand(uint16_t word, bool global);
    uint16_t writeSystem(uint16_t offset, const std::vector<uint8_t>& data);
    uint16_t writeUser(uint16_t offset, const std::vector<uint8_t>& data);
    int voltageExponent() const { return static_cast<int8_t>(system_[10]); }
    int currentExponent() const { return static_cast<int8_t>(system_[11]); }
    double throughError(AnalogPath path, double value) const;
    // Advances the output and the module's clocks by nanoseconds; returns the error action that fired.
    int advance(int64_t ns);
    void takeTraceSample();
    double loadNow() const;

    ModuleDef def_;
    int channel_;
    bool wdxLayout_;
    bool board_;
    std::array<uint8_t, 20> firmware_;
    std::array<uint8_t, 64> system_;
    std::array<uint8_t, 64> user_;
    std::vector<uint8_t> bootBuffer_;
    BootFirmware boot_;
    std::optional<JovaIo> jova_;  // the I/O test block, on JOVA boards only
    OutputModel output_;
    TraceRecorder trace_;  // on output modules; JOVA boards have their I/O block at that address
    int64_t uptimeNs_ = 0;
    int32_t syncError_ = 0;  // timer ticks the module's period is off the crate's sync pulse
    uint32_t framesReceived_ = 0;
    uint64_t changes_ = 0;
};

}  // namespace vsim
