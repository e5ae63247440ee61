#pragma once
// The crate controller's TMS320 F2812 as the serial line sees it. RTS held active keeps it in reset;
// releasing RTS starts the ROM serial boot loader when DTR is active, otherwise the boot from flash,
// which runs the controller firmware only when the flash holds a bootable image. Through the boot
// loader the host loads an access firmware into RAM; the model does not execute that code but
// answers as the access firmware does (tms320_packet_port, tms320_access_commands).
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/controller.h"
#include "sim/tms320_boot_stream.h"
#include "sim/tms320_memory.h"
#include "sim/tms320_packet_port.h"
#include "sim/tms320_settings.h"

namespace vsim {

enum class Tms320State {
    Reset,               // RTS active: the processor is held and answers nothing
    RomBootLoader,       // waiting for the autobaud byte and the boot stream
    AccessFirmware,      // the loaded access firmware answers packets
    ControllerFirmware,  // booted from flash: the controller answers module access frames
    Dead,                // nothing to run (unbootable flash, bad boot stream) until the next reset
};

const char* tms320StateName(Tms320State state);

class Tms320 {
  public:
    explicit Tms320(const Tms320Def& def);
    ~Tms320();  // keeps the flash in its file, when the scenario names one
    Tms320(const Tms320&) = delete;
    Tms320& operator=(const Tms320&) = delete;

    // Power cycle: RAM lost, the processor boots from flash.
    void powerOn();
    // The bridge's modem lines; the release of RTS restarts the processor.
    void setLines(bool rtsActive, bool dtrActive);

    Tms320State state() const { return state_; }
    bool runsControllerFirmware() const { return state_ == Tms320State::ControllerFirmware; }

    // A byte for the ROM boot loader or the access firmware, arriving at timeUs. Both talk 8N1 at
    // 115200 baud; at other settings (fits false) the byte is noise and dropped.
    std::vector<Controller::Reply> receive(uint8_t byte, int64_t timeUs, bool fits);

    Tms320Flash& flash() { return memory_.flash; }
    const std::map<uint32_t, uint16_t>& ram() const { return memory_.ram; }
    // A word as the access firmware's memory read gives it.
    uint16_t readWord(uint32_t address) const { return memory_.read(address); }
    const Tms320Counters& counters() const { return counters_; }
    const std::vector<DspFault>& faults() const { return faults_; }
    void addFault(const DspFault& fault) { faults_.push_back(fault); }

  private:
    void bootFromFlash();
    void startRomBootLoader();
    std::vector<Controller::Reply> romBootLoader(uint8_t byte, int64_t timeUs);

    void saveFlash() const;

    Tms320Memory memory_;
    std::string flashFile_;
    std::vector<DspFault> faults_;
    Tms320Counters counters_;
    Tms320State state_ = Tms320State::Reset;
    bool rts_ = false;
    bool romLocked_ = false;
    std::optional<Tms320BootStream> boot_;
    std::unique_ptr<Tms320PacketPort> port_;
};

}  // namespace vsim
