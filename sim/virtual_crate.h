#pragma once
// The virtual crate: simulated USB serial bridges with a crate controller and its modules behind
// them. It is an independent implementation of the wire formats and shares no code with the program.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vsim {

// Time as the host gives it: the simulation never reads a clock of its own, so tests run in
// virtual time and the demo in real time.
struct TimeSource {
    std::function<int64_t()> nowUs;
    std::function<void(int64_t)> sleepUs;
};

struct BridgeInfo {
    std::string serial;
    std::string description;
    std::string vid;  // four hexadecimal digits as the bridge reports them
    std::string pid;
    bool busy = false;  // held by another program
};

struct ByteLogEntry {
    int bridge;
    bool toDevice;  // true: host -> controller
    std::vector<uint8_t> bytes;
};

struct Scenario;
class Controller;
class Tms320;

class VirtualCrate {
  public:
    ~VirtualCrate();
    VirtualCrate(const VirtualCrate&) = delete;
    VirtualCrate& operator=(const VirtualCrate&) = delete;

    static std::unique_ptr<VirtualCrate> fromDefault();
    static std::unique_ptr<VirtualCrate> fromJsonText(const std::string& json, std::string& error);
    static std::unique_ptr<VirtualCrate> fromFile(const std::string& path, std::string& error);

    void setTime(TimeSource time);

    // Bridges currently plugged in, in enumeration order.
    int bridgeCount() const;
    const BridgeInfo& bridgeInfo(int index) const;
    // Index among all configured bridges, plugged or not, by serial number; -1 when unknown.
    int bridgeBySerial(const std::string& serial) const;
    void unplug(const std::string& serial);
    void replug(const std::string& serial);
    void setBusy(const std::string& serial, bool busy);

    // Opens the bridge at an enumeration index; returns its slot (stable across unplugging) or -1
    // when it is busy, already open or not there. The line operations take the slot and return
    // false when the bridge is not open or was unplugged.
    int open(int index);
    void close(int slot);
    bool setBaudRate(int slot, uint32_t baud);
    bool setLineControl(int slot, uint16_t word);
    bool setLines(int slot, bool rtsActive, bool dtrActive);
    bool purge(int slot);
    bool write(int slot, const uint8_t* data, size_t length);
    // Returns the bytes that arrive within timeoutMs (sleeping on the time source); fewer than
    // length means the time-out ran out.
    size_t read(int slot, uint8_t* buffer, size_t length, uint32_t timeoutMs, bool& ok);
    size_t rxQueue(int slot) const;

    // Both directions of every open bridge, for tests. Recorded only from clearByteLog() or
    // recordByteLog(true) on, so a crate that runs for days keeps no growing record.
    const std::vector<ByteLogEntry>& byteLog() const;
    void clearByteLog();  // empties the record and records from here on
    void recordByteLog(bool on);

    Controller& controller();

    // Added for tests and the scenario tools: the controller behind a configured bridge (index as
    // for bridgeBySerial), the RTS/DTR state an open bridge was given (false when not open), and
    // the number of configured bridges, plugged or not.
    Controller& controller(int bridge);
    bool modemLines(int slot, bool& rtsActive, bool& dtrActive) const;
    int configuredBridgeCount() const;
    // The controller's processor behind a configured bridge (index as for bridgeBySerial): its
    // state, flash, RAM, counters and faults.
    Tms320& dsp(int bridge);

    // What the crate's state file needs (sim/crate_state.h): a configured bridge's serial, the
    // scenario's state file name as written (empty: it keeps none), whether outputs stay on over a
    // power cycle, a fingerprint of the crate's make-up (bridges, modules and their processors), and
    // a counter that rises with every change a real crate keeps over a power cycle.
    const std::string& configuredSerial(int bridge) const;
    const std::string& stateFileName() const;
    bool keepsOutputsOn() const;
    const std::string& fingerprint() const;
    uint64_t changeCount() const;

  private:
    VirtualCrate();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vsim
