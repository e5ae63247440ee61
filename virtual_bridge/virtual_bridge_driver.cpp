#include "virtual_bridge/virtual_bridge_driver.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "base/clock.h"
#include "link/usb_link.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "sim/virtual_crate.h"
#include "virtual_bridge/crate_state_file.h"

namespace vz {

namespace {
// Handles are slot + 1 so that 0 stays "no handle".
SiHandle handleOf(int slot) {
    return static_cast<SiHandle>(slot) + 1;
}
constexpr uint32_t kWaitForever = 24 * 3600 * 1000;
}  // namespace

VirtualBridgeDriver::VirtualBridgeDriver(std::unique_ptr<vsim::VirtualCrate> crate)
    : crate_(std::move(crate)) {
    // Ask the process clock each time, so a clock installed later (tests) is honoured.
    crate_->setTime({[] { return clock().nowUs(); }, [](int64_t us) { clock().sleepUs(us); }});
}

namespace {

// The drivers that keep a state, so that a process ending through exit() (the program ends during
// the connection) still writes the changes its last exchanges made.
std::mutex keepersMutex;
std::set<VirtualBridgeDriver*>& keepers() {
    static std::set<VirtualBridgeDriver*> drivers;
    return drivers;
}

}  // namespace

void VirtualBridgeDriver::saveAllAtExit() {
    std::lock_guard lock(keepersMutex);
    for (VirtualBridgeDriver* d : keepers()) {
        // A thread still inside an exchange holds the lock: its crate is in the middle of a change.
        if (!d->mutex_.try_lock()) continue;
        d->saveState(true);
        d->mutex_.unlock();
    }
}

VirtualBridgeDriver::~VirtualBridgeDriver() {
    {
        std::lock_guard lock(keepersMutex);
        keepers().erase(this);
    }
    saveState(true);
}

void VirtualBridgeDriver::keepStateIn(std::unique_ptr<CrateStateFile> file) {
    {
        std::lock_guard lock(mutex_);
        state_ = std::move(file);
    }
    // The set first: built before the handler is registered, it is destroyed only after it ran.
    static const bool registered = [] {
        keepers();
        return std::atexit(&VirtualBridgeDriver::saveAllAtExit) == 0;
    }();
    (void)registered;
    std::lock_guard lock(keepersMutex);
    keepers().insert(this);
}

void VirtualBridgeDriver::saveState(bool now) {
    if (state_) state_->saveIfChanged(*crate_, now);
}

int VirtualBridgeDriver::slotOf(SiHandle handle) const {
    return handle == kNoHandle ? -1 : static_cast<int>(handle - 1);
}

uint8_t VirtualBridgeDriver::getNumDevices(uint32_t& count) {
    std::lock_guard lock(mutex_);
    count = static_cast<uint32_t>(crate_->bridgeCount());
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::getProductString(uint32_t index, char* buffer, int kind) {
    std::lock_guard lock(mutex_);
    if (index >= static_cast<uint32_t>(crate_->bridgeCount())) return SI_DEVICE_NOT_FOUND;
    const vsim::BridgeInfo& info = crate_->bridgeInfo(static_cast<int>(index));
    const std::string* text = nullptr;
    switch (kind) {
        case SI_RETURN_SERIAL_NUMBER:
            text = &info.serial;
            break;
        case SI_RETURN_DESCRIPTION:
            text = &info.description;
            break;
        case SI_RETURN_VID:
            text = &info.vid;
            break;
        case SI_RETURN_PID:
            text = &info.pid;
            break;
        default:
            return SI_INVALID_PARAMETER;
    }
    const size_t n = std::min(text->size(), static_cast<size_t>(kSiMaxString - 1));
    std::memcpy(buffer, text->data(), n);
    buffer[n] = '\0';
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::open(uint32_t index, SiHandle& handle) {
    std::lock_guard lock(mutex_);
    if (index >= static_cast<uint32_t>(crate_->bridgeCount())) return SI_DEVICE_NOT_FOUND;
    const int slot = crate_->open(static_cast<int>(index));
    if (slot < 0) return SI_DEVICE_IO_FAILED;
    handle = handleOf(slot);
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::close(SiHandle handle) {
    std::lock_guard lock(mutex_);
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    crate_->close(slot);
    saveState(true);
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::read(SiHandle handle, void* buffer, uint32_t length, uint32_t& received) {
    std::lock_guard lock(mutex_);
    received = 0;
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    bool ok = true;
    const uint32_t timeout = readTimeoutMs_ ? readTimeoutMs_ : kWaitForever;
    received = static_cast<uint32_t>(crate_->read(slot, static_cast<uint8_t*>(buffer), length, timeout, ok));
    saveState(false);
    if (!ok) return SI_READ_ERROR;
    return received == length ? SI_SUCCESS : SI_READ_TIMED_OUT;
}

uint8_t VirtualBridgeDriver::write(SiHandle handle, const void* buffer, uint32_t length, uint32_t& written) {
    std::lock_guard lock(mutex_);
    written = 0;
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    const bool sent = crate_->write(slot, static_cast<const uint8_t*>(buffer), length);
    saveState(false);
    if (!sent) return SI_WRITE_ERROR;
    written = length;
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::flushBuffers(SiHandle handle, bool, bool receive) {
    std::lock_guard lock(mutex_);
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    if (receive && !crate_->purge(slot)) return SI_DEVICE_IO_FAILED;
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    std::lock_guard lock(mutex_);
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::checkRxQueue(SiHandle handle, uint32_t& bytesInQueue, uint32_t& queueStatus) {
    std::lock_guard lock(mutex_);
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    bytesInQueue = static_cast<uint32_t>(crate_->rxQueue(slot));
    queueStatus = bytesInQueue ? 2 : 0;
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::setBaudRate(SiHandle handle, uint32_t baud) {
    std::lock_guard lock(mutex_);
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    return crate_->setBaudRate(slot, baud) ? SI_SUCCESS : SI_DEVICE_IO_FAILED;
}

uint8_t VirtualBridgeDriver::setLineControl(SiHandle handle, uint16_t lineControl) {
    std::lock_guard lock(mutex_);
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    return crate_->setLineControl(slot, lineControl) ? SI_SUCCESS : SI_DEVICE_IO_FAILED;
}

uint8_t VirtualBridgeDriver::setFlowControl(SiHandle handle, uint8_t, uint8_t rtsMode, uint8_t dtrMode,
                                            uint8_t, uint8_t, bool) {
    std::lock_guard lock(mutex_);
    const int slot = slotOf(handle);
    if (slot < 0) return SI_INVALID_HANDLE;
    rts_ = rtsMode;
    dtr_ = dtrMode;
    return crate_->setLines(slot, rtsMode == 1, dtrMode == 1) ? SI_SUCCESS : SI_DEVICE_IO_FAILED;
}

uint8_t VirtualBridgeDriver::getModemStatus(SiHandle handle, uint8_t& status) {
    std::lock_guard lock(mutex_);
    if (slotOf(handle) < 0) return SI_INVALID_HANDLE;
    status = static_cast<uint8_t>((dtr_ == 1 ? 0x01 : 0) | (rts_ == 1 ? 0x02 : 0));
    return SI_SUCCESS;
}

// The virtual crate reports itself as version 1.0.0.0 of both the library and the driver.
uint8_t VirtualBridgeDriver::getDllVersion(uint32_t& high, uint32_t& low) {
    std::lock_guard lock(mutex_);
    high = 0x00010000;
    low = 0;
    return SI_SUCCESS;
}

uint8_t VirtualBridgeDriver::getDriverVersion(uint32_t& high, uint32_t& low) {
    std::lock_guard lock(mutex_);
    high = 0x00010000;
    low = 0;
    return SI_SUCCESS;
}

std::optional<double> VirtualBridgeDriver::readOutput(int channel, bool current, std::string& error) {
    std::lock_guard lock(mutex_);
    const int index = crate_->bridgeBySerial(usbSerial());
    const vsim::Module* module = crate_->controller(index < 0 ? 0 : index).module(channel);
    if (!module) {
        error = "the virtual crate has no module at this channel";
        return std::nullopt;
    }
    const vsim::OutputReadings r = module->trueReadings();
    return current ? r.current : r.uSense;
}

}  // namespace vz
