#include "sim/virtual_crate.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "sim/bridge_line.h"
#include "sim/byte_order.h"
#include "sim/controller.h"
#include "sim/scenario.h"

namespace vsim {

struct VirtualCrate::Impl {
    std::vector<std::unique_ptr<BridgeLine>> bridges;
    TimeSource time;
    std::vector<ByteLogEntry> log;
    std::string stateFile;
    bool keepOutputsOn = false;
    std::string fingerprint;
    bool logging = false;  // only when a test or a benchmark asks: a long run keeps no record
    void record(int slot, bool toDevice, const uint8_t* bytes, size_t n) {
        if (logging && n > 0) log.push_back({slot, toDevice, std::vector<uint8_t>(bytes, bytes + n)});
    }
    mutable std::mutex mutex;

    std::vector<int> plugged() const {
        std::vector<int> out;
        for (size_t i = 0; i < bridges.size(); ++i)
            if (bridges[i]->plugged) out.push_back(static_cast<int>(i));
        return out;
    }
    BridgeLine* usable(int slot) const {
        if (slot < 0 || slot >= static_cast<int>(bridges.size())) return nullptr;
        BridgeLine* b = bridges[slot].get();
        return b->open && b->plugged ? b : nullptr;
    }
    int find(const std::string& serial) const {
        for (size_t i = 0; i < bridges.size(); ++i)
            if (bridges[i]->info.serial == serial) return static_cast<int>(i);
        return -1;
    }
};

namespace {

// FNV-1a over a text that names every bridge, module and processor: a state belongs to a crate of
// the same make-up, whatever else its scenario says (loads, faults, start values).
std::string fingerprintOf(const Scenario& scenario) {
    std::ostringstream text;
    for (const BridgeDef& b : scenario.bridges) {
        text << b.info.serial << ":" << b.crate.controller.type << "[";
        for (const ModuleDef& m : b.crate.modules) {
            const auto& p = m.bootFirmware.processor;
            const uint32_t serial = getU32(m.system.data());
            text << m.channel << "=" << serial << "/" << p.name << "/" << p.pmInstructions << "/"
                 << p.eepromWords << "/" << p.configWords << ",";
        }
        text << "];";
    }
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text.str()) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001b3ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
    return out;
}

}  // namespace

VirtualCrate::VirtualCrate() : impl_(std::make_unique<Impl>()) {
    // Until the host hands in its clock, time is virtual: sleeping just moves it on.
    auto clock = std::make_shared<int64_t>(0);
    impl_->time.nowUs = [clock] { return *clock; };
    impl_->time.sleepUs = [clock](int64_t us) {
        if (us > 0) *clock += us;
    };
}

VirtualCrate::~VirtualCrate() = default;

std::unique_ptr<VirtualCrate> VirtualCrate::fromDefault() {
    std::string error;
    return fromJsonText(defaultScenarioJson(), error);
}

std::unique_ptr<VirtualCrate> VirtualCrate::fromJsonText(const std::string& json, std::string& error) {
    const auto scenario = parseScenario(json, error);
    if (!scenario) return nullptr;
    std::unique_ptr<VirtualCrate> crate(new VirtualCrate());  // private constructor
    for (const BridgeDef& b : scenario->bridges)
        crate->impl_->bridges.push_back(std::make_unique<BridgeLine>(b));
    crate->impl_->stateFile = scenario->stateFile;
    crate->impl_->keepOutputsOn = scenario->keepOutputsOn;
    crate->impl_->fingerprint = fingerprintOf(*scenario);
    error.clear();
    return crate;
}

std::unique_ptr<VirtualCrate> VirtualCrate::fromFile(const std::string& path, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        error = path + ": is a directory, not a scenario file";
        return nullptr;
    }
    // A FIFO would block and a device would never end: only a regular file is a scenario.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = path + ": is not a regular file, not a scenario file";
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return nullptr;
    }
    // One byte beyond the bound is enough to refuse it as too large.
    std::string text(kMaxScenarioBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    auto crate = fromJsonText(text, error);
    if (!crate) error = path + ": " + error;
    return crate;
}

void VirtualCrate::setTime(TimeSource time) {
    std::lock_guard lock(impl_->mutex);
    if (time.nowUs && time.sleepUs) impl_->time = std::move(time);
}

int VirtualCrate::bridgeCount() const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->plugged().size());
}

const BridgeInfo& VirtualCrate::bridgeInfo(int index) const {
    std::lock_guard lock(impl_->mutex);
    static const BridgeInfo kNone{};
    const auto p = impl_->plugged();
    if (index < 0 || index >= static_cast<int>(p.size())) return kNone;
    return impl_->bridges[p[index]]->info;
}

int VirtualCrate::bridgeBySerial(const std::string& serial) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->find(serial);
}

void VirtualCrate::unplug(const std::string& serial) {
    std::lock_guard lock(impl_->mutex);
    const int i = impl_->find(serial);
    if (i < 0) return;
    BridgeLine& b = *impl_->bridges[i];
    b.plugged = false;
    b.open = false;  // the handle is dead; the host must open the bridge again after replugging
}

void VirtualCrate::replug(const std::string& serial) {
    std::lock_guard lock(impl_->mutex);
    const int i = impl_->find(serial);
    if (i < 0 || impl_->bridges[i]->plugged) return;
    impl_->bridges[i]->reset();
    impl_->bridges[i]->plugged = true;
}

void VirtualCrate::setBusy(const std::string& serial, bool busy) {
    std::lock_guard lock(impl_->mutex);
    const int i = impl_->find(serial);
    if (i >= 0) impl_->bridges[i]->info.busy = busy;
}

int VirtualCrate::open(int index) {
    std::lock_guard lock(impl_->mutex);
    const auto p = impl_->plugged();
    if (index < 0 || index >= static_cast<int>(p.size())) return -1;
    BridgeLine& b = *impl_->bridges[p[index]];
    if (b.info.busy || b.open) return -1;
    b.open = true;
    return p[index];
}

void VirtualCrate::close(int slot) {
    std::lock_guard lock(impl_->mutex);
    if (slot >= 0 && slot < static_cast<int>(impl_->bridges.size())) impl_->bridges[slot]->open = false;
}

bool VirtualCrate::setBaudRate(int slot, uint32_t baud) {
    std::lock_guard lock(impl_->mutex);
    BridgeLine* b = impl_->usable(slot);
    if (!b) return false;
    b->baud = baud;
    return true;
}

bool VirtualCrate::setLineControl(int slot, uint16_t word) {
    std::lock_guard lock(impl_->mutex);
    BridgeLine* b = impl_->usable(slot);
    if (!b) return false;
    b->lineControl = word;
    return true;
}

bool VirtualCrate::setLines(int slot, bool rtsActive, bool dtrActive) {
    std::lock_guard lock(impl_->mutex);
    BridgeLine* b = impl_->usable(slot);
    if (!b) return false;
    b->setLines(rtsActive, dtrActive);
    return true;
}

bool VirtualCrate::modemLines(int slot, bool& rtsActive, bool& dtrActive) const {
    std::lock_guard lock(impl_->mutex);
    rtsActive = dtrActive = false;
    BridgeLine* b = impl_->usable(slot);
    if (!b) return false;
    rtsActive = b->rts;
    dtrActive = b->dtr;
    return true;
}

bool VirtualCrate::purge(int slot) {
    std::lock_guard lock(impl_->mutex);
    BridgeLine* b = impl_->usable(slot);
    if (!b) return false;
    b->purge(impl_->time.nowUs());
    return true;
}

bool VirtualCrate::write(int slot, const uint8_t* data, size_t length) {
    std::lock_guard lock(impl_->mutex);
    BridgeLine* b = impl_->usable(slot);
    if (!b || (length > 0 && !data)) return false;
    impl_->record(slot, true, data, length);
    if (b->controller().writeFails(data, length)) return false;
    b->send(data, length, impl_->time.nowUs());
    return true;
}

size_t VirtualCrate::read(int slot, uint8_t* buffer, size_t length, uint32_t timeoutMs, bool& ok) {
    std::unique_lock lock(impl_->mutex);
    ok = false;
    BridgeLine* b = impl_->usable(slot);
    if (!b || (length > 0 && !buffer)) return 0;
    const TimeSource time = impl_->time;
    const int64_t deadline = time.nowUs() + int64_t{timeoutMs} * 1000;
    size_t got = 0;
    for (;;) {
        const int64_t now = time.nowUs();
        got += b->take(buffer + got, length - got, now);
        if (got == length) break;
        int64_t next = 0;
        const bool more = b->nextByteTime(next);
        // A bridge hands over what it has once the line goes quiet, as a USB bulk packet: a read that
        // got bytes and has none on their way returns at once instead of waiting out its time-out.
        if (got > 0 && !more) break;
        const int64_t wake = more && next <= deadline ? next : deadline;
        if (wake <= now) break;  // deadline reached
        // Sleep without the lock so that the host's other threads can go on meanwhile.
        lock.unlock();
        time.sleepUs(wake - now);
        lock.lock();
        b = impl_->usable(slot);
        if (!b) {
            impl_->record(slot, false, buffer, got);
            return got;  // unplugged or closed while waiting
        }
    }
    impl_->record(slot, false, buffer, got);
    ok = true;
    return got;
}

size_t VirtualCrate::rxQueue(int slot) const {
    std::lock_guard lock(impl_->mutex);
    BridgeLine* b = impl_->usable(slot);
    return b ? b->readable(impl_->time.nowUs()) : 0;
}

const std::vector<ByteLogEntry>& VirtualCrate::byteLog() const {
    return impl_->log;
}

void VirtualCrate::clearByteLog() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
    impl_->logging = true;
}

void VirtualCrate::recordByteLog(bool on) {
    std::lock_guard lock(impl_->mutex);
    impl_->logging = on;
    if (!on) impl_->log.clear();
}

Controller& VirtualCrate::controller() {
    return controller(0);
}

Controller& VirtualCrate::controller(int bridge) {
    std::lock_guard lock(impl_->mutex);
    if (bridge < 0 || bridge >= static_cast<int>(impl_->bridges.size())) bridge = 0;
    return impl_->bridges[bridge]->controller();
}

Tms320& VirtualCrate::dsp(int bridge) {
    std::lock_guard lock(impl_->mutex);
    if (bridge < 0 || bridge >= static_cast<int>(impl_->bridges.size())) bridge = 0;
    return impl_->bridges[bridge]->dsp();
}

int VirtualCrate::configuredBridgeCount() const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->bridges.size());
}

const std::string& VirtualCrate::configuredSerial(int bridge) const {
    std::lock_guard lock(impl_->mutex);
    static const std::string kNone;
    if (bridge < 0 || bridge >= static_cast<int>(impl_->bridges.size())) return kNone;
    return impl_->bridges[bridge]->info.serial;
}

const std::string& VirtualCrate::stateFileName() const {
    return impl_->stateFile;
}

bool VirtualCrate::keepsOutputsOn() const {
    return impl_->keepOutputsOn;
}

const std::string& VirtualCrate::fingerprint() const {
    return impl_->fingerprint;
}

uint64_t VirtualCrate::changeCount() const {
    std::lock_guard lock(impl_->mutex);
    uint64_t n = 0;
    for (const auto& b : impl_->bridges) n += b->controller().changeCount() + b->dsp().flash().changeCount();
    return n;
}

}  // namespace vsim
