#include "sim/module.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/byte_order.h"
#include "sim/physical_value.h"
#include "sim/record_layout.h"

namespace vsim {
namespace {

constexpr uint32_t kBootBufferBase = 0xD000;  // the boot loader's data buffer
constexpr size_t kBootBufferSize = 0x100;
constexpr double kUnityGain = 32768.0;         // calibration gains: 0x8000 is 1.0
constexpr uint16_t kUserInternalSense = 0x08;  // user flag: regulate on the internal sense
constexpr uint16_t kSysCalUIntGain = 50, kSysCalUIntOffset = 52;
constexpr uint16_t kSysPhase = 32;

double gain(const uint8_t* rec, uint16_t off) {
    return getU16(rec + off) / kUnityGain;
}

}  // namespace

Module::Module(const ModuleDef& def, int controllerType)
    : def_(def),
      channel_(def.channel),
      wdxLayout_(controllerType == 17),
      board_(std::memcmp(def.firmware.data(), "BOLAN JOVA", 10) == 0),
      firmware_(def.firmware),
      system_(def.system),
      user_(def.user),
      bootBuffer_(kBootBufferSize, 0),
      boot_(def.bootFirmware) {
    if (std::memcmp(def.firmware.data(), "BOLAN JOVA", 10) == 0) jova_.emplace(def.jovaInputs);
    // A module's id is the channel it answers on; it keeps it in its factory record.
    if (channel_ >= 0 && channel_ <= 126)
        putU16(system_.data() + sysoff::idModule, static_cast<uint16_t>(channel_));
    if (def.on && !board_) {
        output_.switchOn();
        output_.settle(settings());
    }
}

void Module::setChannel(int channel) {
    if (channel != channel_) ++changes_;
    channel_ = channel;
    putU16(system_.data() + sysoff::idModule, static_cast<uint16_t>(channel));
}

uint32_t Module::serialNumber() const {
    return getU32(system_.data());
}
uint16_t Module::idGroup() const {
    return getU16(user_.data() + useroff::idGroup);
}

bool Module::readMemory(uint32_t address, size_t length, std::vector<uint8_t>& out) const {
    // Each record lives in its own 4 KiB page; bytes past the record read as zero.
    const uint32_t page = address & 0xF000;
    const uint32_t offset = address & 0x0FFF;
    const uint8_t* rec = nullptr;
    size_t size = 0;
    if (page == kFirmwareBase) {
        rec = firmware_.data();
        size = firmware_.size();
    } else if (page == kSystemBase) {
        rec = system_.data();
        size = system_.size();
    } else if (page == kUserBase) {
        rec = user_.data();
        size = user_.size();
    } else if (page == JovaIo::kBase && jova_) {
        out = jova_->read(offset, length);
        return true;
    } else if (page == TraceRecorder::kBase && !board_) {
        out = trace_.read(offset, length);
        return true;
    } else if (page == kBootBufferBase) {
        rec = bootBuffer_.data();
        size = bootBuffer_.size();
    } else {
        return false;
    }
    out.assign(length, 0);
    for (size_t i = 0; i < length; ++i)
        if (offset + i < size) out[i] = rec[offset + i];
    return true;
}

bool Module::writeMemory(uint32_t address, const std::vector<uint8_t>& data) {
    // Records change only through the parameter writes; the boot buffer and an output module's trace
    // buffer take raw bytes.
    if (!board_ && address >= TraceRecorder::kBase && address < TraceRecorder::kBase + TraceRecorder::kSize) {
        bool started = false;
        if (!trace_.write(address - TraceRecorder::kBase, data, started)) return false;
        if (started) takeTraceSample();  // the first sample at the request
        return true;
    }
    if (address < kBootBufferBase || address + data.size() > kBootBufferBase + kBootBufferSize) return false;
    std::memcpy(bootBuffer_.data() + (address - kBootBufferBase), data.data(), data.size());
    return true;
}

uint16_t Module::writeParameter(uint32_t address, const std::vector<uint8_t>& data) {
    uint16_t stored = result::unknownParameter;
    if ((address & 0xF000) == kSystemBase)
        stored = writeSystem(static_cast<uint16_t>(address & 0xFFF), data);
    else if ((address & 0xF000) == kUserBase)
        stored = writeUser(static_cast<uint16_t>(address & 0xFFF), data);
    if ((address & 0xF000) == kSystemBase || (address & 0xF000) == kUserBase) {
        if (stored == result::ok) ++changes_;
        return stored;
    }
    if ((address & 0xF000) == JovaIo::kBase && jova_) return jova_->write(address & 0xFFF, data);
    return result::unknownParameter;
}

std::optional<uint16_t> Module::bootCommand(const std::vector<uint8_t>& frame, int64_t nowUs) {
    const int rowsBefore = boot_.rowsWritten();
    const bool bootLoaderBefore = boot_.bootLoaderRuns(INT64_MAX);
    const auto parametersBefore = boot_.parameters();
    const auto result = boot_.command(frame, bootBuffer_, nowUs);
    if (boot_.rowsWritten() != rowsBefore || boot_.bootLoaderRuns(INT64_MAX) != bootLoaderBefore ||
        boot_.parameters() != parametersBefore)
        ++changes_;
    return result;
}

uint16_t Module::writeSystem(uint16_t offset, const std::vector<uint8_t>& data) {
    if (offset == sysoff::voltageExponent) {  // both exponents as one word
        if (data.size() != 2) return result::badLength;
        std::memcpy(system_.data() + offset, data.data(), 2);
        return result::ok;
    }
    const auto f = fieldAt(systemFields(), offset);
    if (!f || !f->writable) return result::unknownParameter;
    if (data.size() != f->width) return result::badLength;
    if (offset == sysoff::serialNumber && getU32(data.data()) == 0) return result::outOfRange;
    std::memcpy(system_.data() + offset, data.data(), data.size());
    return result::ok;
}

uint16_t Module::writeUser(uint16_t offset, const std::vector<uint8_t>& data) {
    if (wdxLayout_ && (offset == 2 || offset == 6) && data.size() == 4) {
        float v = 0;
        std::memcpy(&v, data.data(), 4);
        if (!std::isfinite(v)) return result::outOfRange;
        std::memcpy(user_.data() + offset, data.data(), 4);
        return result::ok;
    }
    if (wdxLayout_ && offset >= 2 && offset < 10) return result::unknownParameter;  // floats live there
    const auto f = fieldAt(userFields(), offset);
    if (!f || !f->writable) return result::unknownParameter;
    if (data.size() != f->width) return result::badLength;
    const int v = f->isSigned ? getS16(data.data()) : getU16(data.data());
    const uint8_t* s = system_.data();
    auto within = [&](int lo, uint16_t sysOffset) { return v >= lo && v <= getS16(s + sysOffset); };
    bool good = true;
    switch (offset) {
        case useroff::idGroup:
            good = v >= 1 && v <= 127;
            break;
        case useroff::Unom:
            good = within(0, sysoff::maxUnom);
            break;
        case useroff::Inom:
            good = within(0, sysoff::maxInom);
            break;
        case useroff::minUSense:
            good = within(0, sysoff::maxUSense);
            break;
        case useroff::maxUSense:
            good = within(0, sysoff::maxUSense);
            break;
        case useroff::maxUModule:
            good = within(0, sysoff::maxUTerminal);
            break;
        case useroff::maxCurrent:
            good = within(0, sysoff::maxCurrent);
            break;
        case useroff::maxTemperature:
            good = within(-40, sysoff::maxTemperature);
            break;
        case useroff::maxPower:
            good = v <= getU16(s + sysoff::maxPower);
            break;
        default:
            break;
    }
    if (!good) return result::outOfRange;
    std::memcpy(user_.data() + offset, data.data(), 2);
    return result::ok;
}

double Module::throughError(AnalogPath path, double value) const {
    const AnalogError& e = def_.analogError[static_cast<size_t>(path)];
    return e.gain * value + e.offset;
}

OutputSettings Module::settings() const {
    const uint8_t* s = system_.data();
    const uint8_t* u = user_.data();
    const int ve = voltageExponent();
    const int ce = currentExponent();
    OutputSettings o;
    if (wdxLayout_) {
        // No raw set point in this layout: the output runs at its full rating.
        o.uSet = rawToPhysical(getS16(s + sysoff::maxUnom), ve);
        o.iLimit = rawToPhysical(getS16(s + sysoff::maxInom), ce);
        o.rampUp = o.rampDown = 0;
    } else {
        // The set points pass through the module's set-point calibration, then through the analogue
        // path's error. With internal sense the voltage loop uses its own pair and path.
        const bool internal = (getU16(u + useroff::flags) & kUserInternalSense) != 0;
        const uint16_t gainOff = internal ? kSysCalUIntGain : sysoff::calUSetGain;
        const uint16_t offsetOff = internal ? kSysCalUIntOffset : sysoff::calUSetOffset;
        o.uSet = throughError(
            internal ? AnalogPath::uInternal : AnalogPath::uSet,
            gain(s, gainOff) * rawToPhysical(getS16(u + useroff::Unom) - getS16(s + offsetOff), ve));
        o.iLimit = throughError(
            AnalogPath::iSet,
            gain(s, sysoff::calISetGain) *
                rawToPhysical(getS16(u + useroff::Inom) - getS16(s + sysoff::calISetOffset), ce));
        o.rampUp = getU16(u + useroff::rampUp);
        o.rampDown = getU16(u + useroff::rampDown);
    }
    const uint16_t flags = getU16(u + useroff::flags);
    o.noRampOff = flags & 0x01;
    o.ignoresGlobalInhibit = flags & 0x20;
    o.loadOhms = loadNow();
    o.cableOhms = def_.cableOhms;
    o.ambientC = def_.ambientC;
    o.heatCPerW = def_.heatCPerW;
    o.threshold = {rawToPhysical(getS16(u + useroff::minUSense), ve),
                   rawToPhysical(getS16(u + useroff::maxUSense), ve),
                   rawToPhysical(getS16(u + useroff::maxUModule), ve),
                   rawToPhysical(getS16(u + useroff::maxCurrent), ce),
                   static_cast<double>(getS16(u + useroff::maxTemperature)),
                   static_cast<double>(getU16(u + useroff::maxPower))};
    for (size_t i = 0; i < 6; ++i) o.delayMs[i] = getU16(u + useroff::delayMinUSense + 2 * i);
    o.errorAction = getU16(u + useroff::errorAction);
    return o;
}

std::array<uint8_t, 32> Module::measurement() const {
    std::array<uint8_t, 32> m{};
    uint8_t* p = m.data();
    const uint8_t* s = system_.data();
    // Blocks 2 and 3: receive counter, idle and main-loop counters of the module processor.
    putU32(p + 20, framesReceived_);
    putU32(p + 24, static_cast<uint32_t>(uptimeNs_ / 20000));
    putU32(p + 28, static_cast<uint32_t>(uptimeNs_ / 100000));
    if (board_) {
        putU16(p, def_.extraStatus);
        for (size_t i = 0; i < 8; ++i)
            putU16(p + 8 + 2 * i, static_cast<uint16_t>(def_.boardTemperatures[i]));
        return m;
    }
    const OutputSettings o = settings();
    const OutputReadings r = output_.readings(o);
    const int ve = voltageExponent();
    const int ce = currentExponent();
    // The module reports its readings through the path's error and then its own measurement
    // calibration, so a good calibration pair cancels the error.
    auto measured = [&](AnalogPath path, double value, uint16_t gainOff, uint16_t offsetOff, int e) {
        return saturatingRaw(
            gain(s, gainOff) * throughError(path, value) - rawToPhysical(getS16(s + offsetOff), e), e);
    };
    putU16(p + 0, static_cast<uint16_t>(r.status | def_.extraStatus));
    putU16(p + 2, static_cast<uint16_t>(measured(AnalogPath::uSense, r.uSense, sysoff::calUSenGain,
                                                 sysoff::calUSenOffset, ve)));
    putU16(p + 4, static_cast<uint16_t>(measured(AnalogPath::current, r.current, sysoff::calIModGain,
                                                 sysoff::calIModOffset, ce)));
    putU16(p + 6, static_cast<uint16_t>(measured(AnalogPath::uTerminal, r.uTerminal, sysoff::calUModGain,
                                                 sysoff::calUModOffset, ve)));
    putU16(p + 8, static_cast<uint16_t>(static_cast<int16_t>(std::lround(r.temperature))));
    return m;
}

void Module::command(uint16_t word, bool global) {
    if (board_) return;
    const bool wasOn = output_.isOn();
    switchCommand(word, global);
    if (output_.isOn() != wasOn) ++changes_;
}

void Module::switchCommand(uint16_t word, bool global) {
    const OutputSettings o = settings();
    switch (word) {
        case 0x0001:
            output_.switchOn();
            break;
        case 0x0002:
            output_.switchOff(o);
            break;
        case 0x0004:
            if (!(global && o.ignoresGlobalInhibit)) output_.setInhibit(true);
            break;
        case 0x0014:
            if (!(global && o.ignoresGlobalInhibit)) output_.setInhibit(false);
            break;
        default:
            break;  // test words and unknown words change nothing
    }
}

bool Module::active() const {
    return !board_ && (output_.active(settings()) || trace_.recording());
}

double Module::loadNow() const {
    // A switching load spends the first half of each period at `loadOhms`, the second at `switchOhms`.
    const int64_t period = def_.switchPeriodUs;
    if (period > 0 && (uptimeNs_ / 1000) % period >= period / 2) return def_.switchOhms;
    return def_.loadOhms;
}

int Module::advance(int64_t ns) {
    const int64_t beforeUs = uptimeNs_ / 1000;
    uptimeNs_ += ns;
    if (board_) return 0;
    const bool wasOn = output_.isOn();
    const int action = output_.step(settings(), uptimeNs_ / 1000 - beforeUs);
    if (action > 0) output_.trip(settings());
    if (output_.isOn() != wasOn) ++changes_;
    return action;
}

int Module::step(int64_t dtUs) {
    int64_t leftNs = dtUs * 1000;
    int action = 0;
    // While a trace records, the output is stepped from sample to sample, so each sample sees the
    // output as it is at its own time.
    while (trace_.recording() && leftNs > 0) {
        const int64_t chunk = std::min(leftNs, trace_.nsToNextSample());
        action = std::max(action, advance(chunk));
        leftNs -= chunk;
        trace_.advance(chunk);
        if (trace_.nsToNextSample() <= 0) takeTraceSample();
    }
    if (leftNs > 0) action = std::max(action, advance(leftNs));
    return action;
}

void Module::takeTraceSample() {
    if (trace_.mode() == 3) {
        // The crate's sync pulse comes every 1 ms; the module's 40 MHz timer is captured at it (T1).
        // Its own oscillator runs a few ticks a period fast or slow, by serial number; the regulation
        // takes back half of the error each period, and the period start (Z1) is the capture plus
        // the configured phase plus what is left of the error.
        constexpr int64_t kTicksPerUs = 40;
        const int32_t drift = static_cast<int32_t>(serialNumber() % 7) - 3;
        const int32_t correction = syncError_ / 2;
        SyncSample s;
        s.t1 = static_cast<uint32_t>(uptimeNs_ * kTicksPerUs / 1000);
        s.z1 = s.t1 + getU16(system_.data() + kSysPhase) + static_cast<uint32_t>(syncError_);
        s.correction = -correction;
        s.phaseDifference = syncError_;
        syncError_ += drift - correction;
        trace_.record(s);
        return;
    }
    const auto m = measurement();
    trace_.record(SignalSample{static_cast<int16_t>(getU16(m.data() + 2)),
                               static_cast<int16_t>(getU16(m.data() + 6)),
                               static_cast<int16_t>(getU16(m.data() + 4))});
}

void Module::trip() {
    if (board_) return;
    const bool wasOn = output_.isOn();
    output_.trip(settings());
    if (output_.isOn() != wasOn) ++changes_;
}

void Module::restoreRecords(const std::array<uint8_t, 20>& firmware, const std::array<uint8_t, 64>& system,
                            const std::array<uint8_t, 64>& user) {
    firmware_ = firmware;
    system_ = system;
    user_ = user;
}

void Module::restoreOutput(bool on) {
    if (board_ || output_.isOn() == on) return;
    if (on) {
        output_.switchOn();
        output_.settle(settings());
    } else {
        output_.switchOff(settings());
        output_.settle(settings());
    }
}

}  // namespace vsim
