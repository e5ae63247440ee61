#include "link/cp210x/cp210x_bridge.h"

#include <libusb-1.0/libusb.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/clock.h"
#include "base/debug_log.h"
#include "link/cp210x/cp210x_libusb_transport.h"
#include "link/cp210x/cp210x_requests.h"
#include "link/cp210x/cp210x_status_map.h"
#include "link/cp210x/cp210x_versions.h"

namespace vz {

namespace {

// A multiple of every bulk packet size (64 full speed, 512 high speed), so the bridge can never
// send more than we asked for; what the caller did not want waits in OpenDevice::pending.
constexpr std::size_t kBulkInChunk = 4096;
// Bounds one bulk OUT transfer so libusb's int length and its buffer stay small.
constexpr std::size_t kBulkOutChunk = 65536;

// Time left of one read or write. Built on the process clock so tests run it in virtual time.
class Deadline {
  public:
    explicit Deadline(uint32_t timeoutMs)
        : unlimited_(timeoutMs == 0), endUs_(clock().nowUs() + int64_t{timeoutMs} * 1000) {}

    // False once the time is up; otherwise the libusb time-out for the next transfer, never 0
    // (libusb's "no limit") while a limit is in force.
    bool next(unsigned& timeoutMs) const {
        if (unlimited_) {
            timeoutMs = 0;
            return true;
        }
        const int64_t leftUs = endUs_ - clock().nowUs();
        if (leftUs <= 0) return false;
        timeoutMs = static_cast<unsigned>((leftUs + 999) / 1000);
        return true;
    }

  private:
    bool unlimited_;
    int64_t endUs_;
};

std::size_t transferredBytes(int transferred, std::size_t limit) {
    return std::min(static_cast<std::size_t>(std::max(transferred, 0)), limit);
}

}  // namespace

struct Cp210xBridge::OpenDevice {
    UsbDeviceEntry entry;
    std::unique_ptr<UsbDevice> usb;
    uint8_t endpointIn = 0;
    uint8_t endpointOut = 0;
    // Bytes of a bulk packet that arrived beyond what a read asked for, oldest first.
    std::vector<uint8_t> pending;
    std::vector<uint8_t> chunk = std::vector<uint8_t>(kBulkInChunk);
};

Cp210xBridge::Cp210xBridge(std::unique_ptr<UsbTransport> transport) : transport_(std::move(transport)) {}

Cp210xBridge::~Cp210xBridge() {
    for (auto& [handle, device] : open_) shutDown(*device);
}

uint8_t Cp210xBridge::refreshDevices() {
    std::vector<UsbDeviceEntry> all;
    const int rc = transport_->listDevices(all);
    devices_.clear();
    listed_ = true;
    if (rc < 0) return siStatusFromUsb(rc);
    std::copy_if(all.begin(), all.end(), std::back_inserter(devices_),
                 [](const UsbDeviceEntry& e) { return e.vendorId == kVendorId; });
    return SI_SUCCESS;
}

Cp210xBridge::OpenDevice* Cp210xBridge::find(SiHandle handle) {
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second.get();
}

uint8_t Cp210xBridge::controlOut(OpenDevice& device, uint8_t request, uint16_t value,
                                 std::span<const uint8_t> data) {
    const int rc =
        device.usb->controlOut(cp210x::kRequestOut, request, value, kInterface, data, kControlTimeoutMs);
    if (rc < 0) return siStatusFromUsb(rc);
    return static_cast<std::size_t>(rc) == data.size() ? SI_SUCCESS : SI_DEVICE_IO_FAILED;
}

uint8_t Cp210xBridge::controlIn(OpenDevice& device, uint8_t request, std::span<uint8_t> data) {
    const int rc = device.usb->controlIn(cp210x::kRequestIn, request, 0, kInterface, data, kControlTimeoutMs);
    if (rc < 0) return siStatusFromUsb(rc);
    // A short reply would leave part of the answer made up: refuse it.
    return static_cast<std::size_t>(rc) == data.size() ? SI_SUCCESS : SI_DEVICE_IO_FAILED;
}

void Cp210xBridge::shutDown(OpenDevice& device) {
    // Errors are of no use here: the device may already be unplugged.
    controlOut(device, cp210x::kIfcEnable, cp210x::kUartDisable);
    device.usb->releaseInterface(kInterface);
    device.usb.reset();
}

uint8_t Cp210xBridge::getNumDevices(uint32_t& count) {
    const std::lock_guard lock(mutex_);
    const uint8_t status = refreshDevices();
    count = static_cast<uint32_t>(devices_.size());
    return status;
}

uint8_t Cp210xBridge::getProductString(uint32_t index, char* buffer, int kind) {
    if (buffer == nullptr) return SI_INVALID_PARAMETER;
    buffer[0] = '\0';
    const std::lock_guard lock(mutex_);
    if (!listed_) refreshDevices();
    if (index >= devices_.size()) return SI_DEVICE_NOT_FOUND;
    const UsbDeviceEntry& entry = devices_[index];
    std::string text;
    switch (kind) {
        case SI_RETURN_VID:
        case SI_RETURN_PID: {
            char id[8];
            std::snprintf(id, sizeof id, "%04X", kind == SI_RETURN_VID ? entry.vendorId : entry.productId);
            text = id;
            break;
        }
        case SI_RETURN_SERIAL_NUMBER:
        case SI_RETURN_DESCRIPTION: {
            const int rc = transport_->readString(
                entry, kind == SI_RETURN_SERIAL_NUMBER ? UsbString::SerialNumber : UsbString::Product, text);
            if (rc < 0) return siStatusFromUsb(rc);
            break;
        }
        default:
            return SI_INVALID_PARAMETER;
    }
    const std::size_t n = std::min<std::size_t>(text.size(), kSiMaxString - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::open(uint32_t index, SiHandle& handle) {
    handle = kNoHandle;
    const std::lock_guard lock(mutex_);
    if (!listed_) refreshDevices();
    if (index >= devices_.size()) return SI_DEVICE_NOT_FOUND;
    const UsbDeviceEntry entry = devices_[index];
    // The kernel would refuse a second claim with "busy" anyway; say so without touching the device.
    for (const auto& [h, device] : open_) {
        if (device->entry.bus == entry.bus && device->entry.address == entry.address)
            return siStatusFromUsb(LIBUSB_ERROR_BUSY);
    }

    auto device = std::make_unique<OpenDevice>();
    device->entry = entry;
    int rc = transport_->open(entry, device->usb);
    if (rc == LIBUSB_ERROR_ACCESS)
        // The usual cause on a fresh installation: the device node belongs to root.
        debugLog(kLogError,
                 "Access to the USB bridge (bus %03u, device %03u) was denied: install the udev rule "
                 "99-vidizozorez.rules (the package does; from a build tree see docs/usb-hardware.md), "
                 "then unplug and plug in the bridge",
                 static_cast<unsigned>(entry.bus), static_cast<unsigned>(entry.address));
    if (rc < 0) return siStatusFromUsb(rc);
    rc = device->usb->claimInterface(kInterface);
    if (rc < 0) return siStatusFromUsb(rc);
    rc = device->usb->bulkEndpoints(kInterface, device->endpointIn, device->endpointOut);
    if (rc < 0) {
        // Not the bridge we know: without its two bulk endpoints no data can move.
        device->usb->releaseInterface(kInterface);
        return SI_DEVICE_IO_FAILED;
    }
    // The UART must be enabled before the bridge accepts any other request.
    const uint8_t status = controlOut(*device, cp210x::kIfcEnable, cp210x::kUartEnable);
    if (status != SI_SUCCESS) {
        device->usb->releaseInterface(kInterface);
        return status;
    }

    handle = nextHandle_++;
    if (nextHandle_ == kNoHandle) nextHandle_ = 1;
    open_.emplace(handle, std::move(device));
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::close(SiHandle handle) {
    const std::lock_guard lock(mutex_);
    const auto it = open_.find(handle);
    if (it == open_.end()) return SI_INVALID_HANDLE;
    shutDown(*it->second);
    open_.erase(it);
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::read(SiHandle handle, void* buffer, uint32_t length, uint32_t& received) {
    received = 0;
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    if (length == 0) return SI_SUCCESS;
    if (buffer == nullptr) return SI_INVALID_PARAMETER;
    auto* out = static_cast<uint8_t*>(buffer);

    // Takes bytes into the caller's buffer; the rest of a packet is kept for the next read.
    auto deliver = [&](const uint8_t* data, std::size_t size) {
        const std::size_t n = std::min<std::size_t>(size, length - received);
        std::copy_n(data, n, out + received);
        received += static_cast<uint32_t>(n);
        device->pending.insert(device->pending.end(), data + n, data + size);
    };

    std::vector<uint8_t> earlier;
    earlier.swap(device->pending);
    deliver(earlier.data(), earlier.size());
    if (received == length) return SI_SUCCESS;

    const Deadline deadline(readTimeoutMs_);
    unsigned timeoutMs = 0;
    while (deadline.next(timeoutMs)) {
        int transferred = 0;
        const int rc = device->usb->bulkIn(device->endpointIn, device->chunk, timeoutMs, transferred);
        // Bytes that came before a time-out or an error are data all the same.
        deliver(device->chunk.data(), transferredBytes(transferred, device->chunk.size()));
        if (received == length) return SI_SUCCESS;
        if (rc < 0) return siStatusFromUsb(rc, UsbOperation::Read);
    }
    return SI_READ_TIMED_OUT;
}

uint8_t Cp210xBridge::write(SiHandle handle, const void* buffer, uint32_t length, uint32_t& written) {
    written = 0;
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    if (length == 0) return SI_SUCCESS;
    if (buffer == nullptr) return SI_INVALID_PARAMETER;
    const auto* in = static_cast<const uint8_t*>(buffer);

    const Deadline deadline(writeTimeoutMs_);
    unsigned timeoutMs = 0;
    while (written < length) {
        if (!deadline.next(timeoutMs)) return SI_WRITE_TIMED_OUT;
        const std::size_t size = std::min<std::size_t>(length - written, kBulkOutChunk);
        int transferred = 0;
        const int rc =
            device->usb->bulkOut(device->endpointOut, {in + written, size}, timeoutMs, transferred);
        const std::size_t sent = transferredBytes(transferred, size);
        written += static_cast<uint32_t>(sent);
        if (rc < 0) return siStatusFromUsb(rc, UsbOperation::Write);
        // A transfer that moved nothing and reported no error would loop for ever.
        if (sent == 0) return SI_WRITE_ERROR;
    }
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::flushBuffers(SiHandle handle, bool transmit, bool receive) {
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    // Bytes we already took from the bridge are part of its receive queue to the caller.
    if (receive) device->pending.clear();
    const uint16_t word = cp210x::purgeWord(transmit, receive);
    if (word == 0) return SI_SUCCESS;
    return controlOut(*device, cp210x::kPurge, word);
}

uint8_t Cp210xBridge::setTimeouts(uint32_t readMs, uint32_t writeMs) {
    const std::lock_guard lock(mutex_);
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::checkRxQueue(SiHandle handle, uint32_t& bytesInQueue, uint32_t& queueStatus) {
    bytesInQueue = 0;
    queueStatus = 0;
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    std::array<uint8_t, cp210x::kCommStatusSize> reply{};
    const uint8_t status = controlIn(*device, cp210x::kGetCommStatus, reply);
    if (status != SI_SUCCESS) return status;
    cp210x::CommStatus comm;
    cp210x::decodeCommStatus(reply, comm);
    bytesInQueue = comm.bytesInReceiveQueue + static_cast<uint32_t>(device->pending.size());
    if (bytesInQueue > 0) queueStatus |= kRxReady;
    if (comm.errors & (cp210x::kErrHardwareOverrun | cp210x::kErrQueueOverrun)) queueStatus |= kRxOverrun;
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::setBaudRate(SiHandle handle, uint32_t baud) {
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    if (baud == 0) return SI_INVALID_BAUDRATE;
    const auto bytes = cp210x::encodeBaudRate(baud);
    const uint8_t status = controlOut(*device, cp210x::kSetBaudRate, 0, bytes);
    // The bridge stalls the request for a rate it cannot make.
    return status == siStatusFromUsb(LIBUSB_ERROR_PIPE) ? uint8_t{SI_INVALID_BAUDRATE} : status;
}

uint8_t Cp210xBridge::setLineControl(SiHandle handle, uint16_t lineControl) {
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    if (!cp210x::lineControlValid(lineControl)) return SI_INVALID_PARAMETER;
    return controlOut(*device, cp210x::kSetLineCtl, lineControl);
}

uint8_t Cp210xBridge::setFlowControl(SiHandle handle, uint8_t ctsMode, uint8_t rtsMode, uint8_t dtrMode,
                                     uint8_t dsrMode, uint8_t dcdMode, bool xonXoff) {
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    const cp210x::FlowSettings flow{ctsMode, rtsMode, dtrMode, dsrMode, dcdMode, xonXoff};
    if (!cp210x::flowSettingsValid(flow)) return SI_INVALID_PARAMETER;
    const auto bytes = cp210x::encodeFlow(flow);
    uint8_t status = controlOut(*device, cp210x::kSetFlow, 0, bytes);
    if (status != SI_SUCCESS) return status;
    // SET_FLOW selects the modes; SET_MHS drives the held lines to their level right away, which
    // is what the controller's reset and boot lines wait for.
    const uint16_t mhs = cp210x::mhsWord(flow);
    if (mhs != 0) status = controlOut(*device, cp210x::kSetMhs, mhs);
    return status;
}

uint8_t Cp210xBridge::getModemStatus(SiHandle handle, uint8_t& status) {
    status = 0;
    const std::lock_guard lock(mutex_);
    OpenDevice* device = find(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    std::array<uint8_t, 1> reply{};
    const uint8_t result = controlIn(*device, cp210x::kGetMdmSts, reply);
    if (result == SI_SUCCESS) status = reply[0];
    return result;
}

uint8_t Cp210xBridge::getDllVersion(uint32_t& high, uint32_t& low) {
    const std::lock_guard lock(mutex_);
    const VersionWords words = libraryVersionWords(transport_->version());
    high = words.high;
    low = words.low;
    return SI_SUCCESS;
}

uint8_t Cp210xBridge::getDriverVersion(uint32_t& high, uint32_t& low) {
    high = 0;
    low = 0;
    utsname names{};
    VersionWords words;
    if (uname(&names) != 0 || !kernelVersionWords(names.release, words)) return SI_SYSTEM_ERROR_CODE;
    high = words.high;
    low = words.low;
    return SI_SUCCESS;
}

std::unique_ptr<BridgeLibrary> makeCp210xBridge() {
    return std::make_unique<Cp210xBridge>(std::make_unique<LibusbTransport>());
}

}  // namespace vz
