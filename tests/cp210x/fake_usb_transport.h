#pragma once
// A scripted USB bus for the CP210x driver: devices with their descriptors, a log of every control
// transfer, and bulk IN packets that arrive after a given (virtual) time.
#include <gtest/gtest.h>
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "link/cp210x/cp210x_usb_transport.h"

namespace vz::test {

struct ControlTransfer {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
    std::vector<uint8_t> data;  // OUT transfers only
    bool operator==(const ControlTransfer&) const = default;
};

inline void PrintTo(const ControlTransfer& t, std::ostream* os) {
    *os << std::hex << "{type 0x" << int{t.requestType} << ", req 0x" << int{t.request} << ", value 0x"
        << t.value << ", index " << t.index << ", length " << std::dec << t.length << ", data";
    for (uint8_t b : t.data) *os << ' ' << std::hex << int{b};
    *os << std::dec << '}';
}

// What arrives on the bulk IN endpoint: `bytes` after `takesUs`, then the transfer ends with `result`.
struct BulkInStep {
    std::vector<uint8_t> bytes;
    int result = LIBUSB_SUCCESS;
    int64_t takesUs = 0;
};

struct FakeDevice {
    UsbDeviceEntry entry;
    std::string serial;
    std::string product;
    int stringResult = LIBUSB_SUCCESS;
    int openResult = LIBUSB_SUCCESS;
    int claimResult = LIBUSB_SUCCESS;  // LIBUSB_ERROR_BUSY: another program holds the interface
    bool hasBulkEndpoints = true;
    std::map<uint8_t, std::vector<uint8_t>> controlReplies;  // IN replies by bRequest
    std::map<uint8_t, int> controlFailures;                  // results of failing requests by bRequest
    std::deque<BulkInStep> bulkIn;
    std::vector<unsigned> bulkInTimeouts;
    std::vector<uint8_t> bulkOutData;
    std::size_t bulkOutAccepts = SIZE_MAX;  // bytes taken before bulkOutResult ends the transfer
    int bulkOutResult = LIBUSB_ERROR_TIMEOUT;
    bool claimed = false;
    bool openNow = false;
};

class FakeUsbTransport final : public UsbTransport {
  public:
    explicit FakeUsbTransport(VirtualClock& clock) : clock_(clock) {}

    FakeDevice& add(uint16_t vendorId, uint16_t productId, std::string serial = {},
                    std::string product = {}) {
        FakeDevice d;
        d.entry = {1, static_cast<uint8_t>(devices.size() + 2), vendorId, productId};
        d.serial = std::move(serial);
        d.product = std::move(product);
        devices.push_back(std::move(d));
        return devices.back();
    }

    int listDevices(std::vector<UsbDeviceEntry>& out) override {
        out.clear();
        if (listResult < 0) return listResult;
        for (const auto& d : devices) out.push_back(d.entry);
        return LIBUSB_SUCCESS;
    }
    int readString(const UsbDeviceEntry& entry, UsbString which, std::string& text) override {
        FakeDevice* d = lookup(entry);
        if (d == nullptr) return LIBUSB_ERROR_NO_DEVICE;
        if (d->stringResult < 0) return d->stringResult;
        text = which == UsbString::SerialNumber ? d->serial : d->product;
        return LIBUSB_SUCCESS;
    }
    int open(const UsbDeviceEntry& entry, std::unique_ptr<UsbDevice>& opened) override;
    UsbLibraryVersion version() override { return libraryVersion; }

    FakeDevice* lookup(const UsbDeviceEntry& entry) {
        for (auto& d : devices)
            if (d.entry.bus == entry.bus && d.entry.address == entry.address) return &d;
        return nullptr;
    }

    std::deque<FakeDevice> devices;  // deque: references stay valid while devices are added
    std::vector<ControlTransfer> controls;
    int listResult = LIBUSB_SUCCESS;
    UsbLibraryVersion libraryVersion;

  private:
    class Device;
    VirtualClock& clock_;
};

class FakeUsbTransport::Device final : public UsbDevice {
  public:
    Device(FakeUsbTransport& bus, FakeDevice& device) : bus_(bus), d_(device) { d_.openNow = true; }
    ~Device() override { d_.openNow = false; }

    int claimInterface(int number) override {
        if (number != 0) return LIBUSB_ERROR_NOT_FOUND;
        if (d_.claimResult < 0) return d_.claimResult;
        d_.claimed = true;
        return LIBUSB_SUCCESS;
    }
    int releaseInterface(int) override {
        d_.claimed = false;
        return LIBUSB_SUCCESS;
    }
    int bulkEndpoints(int, uint8_t& in, uint8_t& out) override {
        if (!d_.hasBulkEndpoints) return LIBUSB_ERROR_NOT_FOUND;
        in = 0x82;
        out = 0x02;
        return LIBUSB_SUCCESS;
    }
    int controlOut(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                   std::span<const uint8_t> data, unsigned) override {
        bus_.controls.push_back({requestType,
                                 request,
                                 value,
                                 index,
                                 static_cast<uint16_t>(data.size()),
                                 {data.begin(), data.end()}});
        if (auto it = d_.controlFailures.find(request); it != d_.controlFailures.end()) return it->second;
        return static_cast<int>(data.size());
    }
    int controlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                  std::span<uint8_t> data, unsigned) override {
        bus_.controls.push_back({requestType, request, value, index, static_cast<uint16_t>(data.size()), {}});
        if (auto it = d_.controlFailures.find(request); it != d_.controlFailures.end()) return it->second;
        const auto it = d_.controlReplies.find(request);
        if (it == d_.controlReplies.end()) return LIBUSB_ERROR_PIPE;
        const std::size_t n = std::min(it->second.size(), data.size());
        std::copy_n(it->second.begin(), n, data.begin());
        return static_cast<int>(n);
    }
    int bulkOut(uint8_t endpoint, std::span<const uint8_t> data, unsigned, int& transferred) override {
        transferred = 0;
        if (endpoint != 0x02) return LIBUSB_ERROR_INVALID_PARAM;
        const std::size_t room = d_.bulkOutAccepts - std::min(d_.bulkOutAccepts, d_.bulkOutData.size());
        const std::size_t n = std::min(room, data.size());
        d_.bulkOutData.insert(d_.bulkOutData.end(), data.begin(),
                              data.begin() + static_cast<std::ptrdiff_t>(n));
        transferred = static_cast<int>(n);
        return n == data.size() ? LIBUSB_SUCCESS : d_.bulkOutResult;
    }
    int bulkIn(uint8_t endpoint, std::span<uint8_t> data, unsigned timeoutMs, int& transferred) override {
        transferred = 0;
        if (endpoint != 0x82) return LIBUSB_ERROR_INVALID_PARAM;
        d_.bulkInTimeouts.push_back(timeoutMs);
        if (d_.bulkIn.empty()) {
            // Silence: the transfer waits out its time-out. Unlimited would hang a real program.
            if (timeoutMs == 0) {
                ADD_FAILURE() << "bulk IN without time-out on a silent line";
                return LIBUSB_ERROR_TIMEOUT;
            }
            bus_.clock_.advanceUs(int64_t{timeoutMs} * 1000);
            return LIBUSB_ERROR_TIMEOUT;
        }
        BulkInStep step = std::move(d_.bulkIn.front());
        d_.bulkIn.pop_front();
        bus_.clock_.advanceUs(step.takesUs);
        // Like a real device: a packet larger than the buffer is an overflow.
        if (step.bytes.size() > data.size()) return LIBUSB_ERROR_OVERFLOW;
        std::copy(step.bytes.begin(), step.bytes.end(), data.begin());
        transferred = static_cast<int>(step.bytes.size());
        return step.result;
    }

  private:
    FakeUsbTransport& bus_;
    FakeDevice& d_;
};

// Hands the driver a transport it may own while the test keeps the bus beyond the driver's life.
class BorrowedTransport final : public UsbTransport {
  public:
    explicit BorrowedTransport(UsbTransport& bus) : bus_(bus) {}
    int listDevices(std::vector<UsbDeviceEntry>& devices) override { return bus_.listDevices(devices); }
    int readString(const UsbDeviceEntry& device, UsbString which, std::string& text) override {
        return bus_.readString(device, which, text);
    }
    int open(const UsbDeviceEntry& device, std::unique_ptr<UsbDevice>& opened) override {
        return bus_.open(device, opened);
    }
    UsbLibraryVersion version() override { return bus_.version(); }

  private:
    UsbTransport& bus_;
};

inline int FakeUsbTransport::open(const UsbDeviceEntry& entry, std::unique_ptr<UsbDevice>& opened) {
    FakeDevice* d = lookup(entry);
    if (d == nullptr) return LIBUSB_ERROR_NO_DEVICE;
    if (d->openResult < 0) return d->openResult;
    opened = std::make_unique<Device>(*this, *d);
    return LIBUSB_SUCCESS;
}

}  // namespace vz::test
