#include "sim/tms320.h"

#include "sim/tms320_flash_file.h"
#include "sim/tms320_flash_image.h"

namespace vsim {
namespace {

constexpr uint8_t kAutobaud = 'A';

}  // namespace

const char* tms320StateName(Tms320State state) {
    switch (state) {
        case Tms320State::Reset:
            return "reset";
        case Tms320State::RomBootLoader:
            return "ROM boot loader";
        case Tms320State::AccessFirmware:
            return "access firmware";
        case Tms320State::ControllerFirmware:
            return "controller firmware";
        case Tms320State::Dead:
            return "dead";
    }
    return "?";
}

Tms320::Tms320(const Tms320Def& def) : flashFile_(def.flashFile), faults_(def.faults) {
    memory_.partId = def.partId;
    memory_.revisionId = def.revisionId;
    if (flashFile_.empty() || !loadFlashFile(memory_.flash, flashFile_))
        writeFactoryImage(memory_.flash, def);
    powerOn();
}

Tms320::~Tms320() {
    saveFlash();
}

void Tms320::saveFlash() const {
    if (!flashFile_.empty()) saveFlashFile(memory_.flash, flashFile_);
}

void Tms320::powerOn() {
    memory_.ram.clear();
    rts_ = false;
    bootFromFlash();
}

void Tms320::setLines(bool rtsActive, bool dtrActive) {
    if (rtsActive) {
        // Every update ends with a reset: what it left in the flash is kept from here on.
        if (!rts_) saveFlash();
        rts_ = true;
        state_ = Tms320State::Reset;
        boot_.reset();
        port_.reset();
        return;
    }
    if (!rts_) return;  // no edge: the program sets the lines it already has
    rts_ = false;
    if (dtrActive)
        startRomBootLoader();
    else
        bootFromFlash();
}

void Tms320::bootFromFlash() {
    boot_.reset();
    port_.reset();
    state_ = memory_.flash.bootable() ? Tms320State::ControllerFirmware : Tms320State::Dead;
}

void Tms320::startRomBootLoader() {
    state_ = Tms320State::RomBootLoader;
    romLocked_ = false;
    boot_.emplace();
    port_.reset();
    restartDspFaultCounts(faults_, true);
}

std::vector<Controller::Reply> Tms320::receive(uint8_t byte, int64_t timeUs, bool fits) {
    if (!fits) return {};
    switch (state_) {
        case Tms320State::RomBootLoader:
            return romBootLoader(byte, timeUs);
        case Tms320State::AccessFirmware:
            return port_->receive(byte, timeUs);
        case Tms320State::Reset:
        case Tms320State::ControllerFirmware:  // the bridge hands those bytes to the controller
        case Tms320State::Dead:
            break;
    }
    return {};
}

std::vector<Controller::Reply> Tms320::romBootLoader(uint8_t byte, int64_t timeUs) {
    std::vector<Controller::Reply> out;
    if (!romLocked_) {
        // Autobaud: the loader measures the 'A' and echoes it; anything else is not yet a character.
        if (byte != kAutobaud) return out;
        romLocked_ = true;
        ++counters_.echoes;
        out.push_back({{byte}, timeUs});
        return out;
    }
    ++counters_.bootBytes;
    if (!dspFaultFires(faults_, DspFaultKind::LostEcho, std::nullopt)) {
        ++counters_.echoes;
        out.push_back({{byte}, timeUs});
    }
    switch (boot_->push(byte)) {
        case Tms320BootStream::Result::More:
            break;
        case Tms320BootStream::Result::Complete:
            for (const auto& [address, word] : boot_->words()) memory_.ram[address] = word;
            boot_.reset();
            state_ = Tms320State::AccessFirmware;
            port_ = std::make_unique<Tms320PacketPort>(memory_, faults_, counters_);
            restartDspFaultCounts(faults_, false);
            break;
        case Tms320BootStream::Result::Invalid:
            boot_.reset();
            state_ = Tms320State::Dead;
            break;
    }
    return out;
}

}  // namespace vsim
