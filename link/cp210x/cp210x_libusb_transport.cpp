#include "link/cp210x/cp210x_libusb_transport.h"

#include <libusb-1.0/libusb.h>

#include <array>
#include <climits>

namespace vz {

namespace {

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListDeleter>;

struct HandleDeleter {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using Handle = std::unique_ptr<libusb_device_handle, HandleDeleter>;

struct ConfigDeleter {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using Config = std::unique_ptr<libusb_config_descriptor, ConfigDeleter>;

// libusb takes int lengths; the bridge never moves more than a few kilobytes per call.
int clampedLength(std::size_t size) {
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

class LibusbDevice final : public UsbDevice {
  public:
    explicit LibusbDevice(Handle handle) : handle_(std::move(handle)) {}

    int claimInterface(int number) override {
        // Not every platform can detach kernel drivers; claiming then tells the real story.
        libusb_set_auto_detach_kernel_driver(handle_.get(), 1);
        return libusb_claim_interface(handle_.get(), number);
    }
    int releaseInterface(int number) override { return libusb_release_interface(handle_.get(), number); }

    int bulkEndpoints(int interfaceNumber, uint8_t& in, uint8_t& out) override {
        libusb_config_descriptor* raw = nullptr;
        const int rc = libusb_get_active_config_descriptor(libusb_get_device(handle_.get()), &raw);
        if (rc != LIBUSB_SUCCESS) return rc;
        const Config config(raw);
        bool haveIn = false;
        bool haveOut = false;
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& ifc = config->interface[i];
            if (ifc.num_altsetting < 1 || ifc.altsetting[0].bInterfaceNumber != interfaceNumber) continue;
            const libusb_interface_descriptor& alt = ifc.altsetting[0];
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
                const bool isIn = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
                if (isIn && !haveIn) {
                    in = ep.bEndpointAddress;
                    haveIn = true;
                } else if (!isIn && !haveOut) {
                    out = ep.bEndpointAddress;
                    haveOut = true;
                }
            }
        }
        return haveIn && haveOut ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
    }

    int controlOut(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                   std::span<const uint8_t> data, unsigned timeoutMs) override {
        // libusb's signature is not const-correct; an OUT transfer only reads the buffer.
        return libusb_control_transfer(handle_.get(), requestType, request, value, index,
                                       const_cast<uint8_t*>(data.data()), static_cast<uint16_t>(data.size()),
                                       timeoutMs);
    }
    int controlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                  std::span<uint8_t> data, unsigned timeoutMs) override {
        return libusb_control_transfer(handle_.get(), requestType, request, value, index, data.data(),
                                       static_cast<uint16_t>(data.size()), timeoutMs);
    }
    int bulkOut(uint8_t endpoint, std::span<const uint8_t> data, unsigned timeoutMs,
                int& transferred) override {
        transferred = 0;
        return libusb_bulk_transfer(handle_.get(), endpoint, const_cast<uint8_t*>(data.data()),
                                    clampedLength(data.size()), &transferred, timeoutMs);
    }
    int bulkIn(uint8_t endpoint, std::span<uint8_t> data, unsigned timeoutMs, int& transferred) override {
        transferred = 0;
        return libusb_bulk_transfer(handle_.get(), endpoint, data.data(), clampedLength(data.size()),
                                    &transferred, timeoutMs);
    }

  private:
    Handle handle_;
};

// Finds the device again in a fresh list: libusb_device pointers are not kept between calls, so a
// device that went away is simply not found.
int openEntry(libusb_context* context, const UsbDeviceEntry& entry, Handle& handle) {
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context, &raw);
    if (count < 0) return static_cast<int>(count);
    const DeviceList list(raw);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = raw[i];
        if (libusb_get_bus_number(device) != entry.bus || libusb_get_device_address(device) != entry.address)
            continue;
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS ||
            descriptor.idVendor != entry.vendorId || descriptor.idProduct != entry.productId)
            return LIBUSB_ERROR_NO_DEVICE;
        libusb_device_handle* opened = nullptr;
        const int rc = libusb_open(device, &opened);
        if (rc != LIBUSB_SUCCESS) return rc;
        handle.reset(opened);
        return LIBUSB_SUCCESS;
    }
    return LIBUSB_ERROR_NO_DEVICE;
}

}  // namespace

void LibusbTransport::ContextDeleter::operator()(libusb_context* context) const {
    libusb_exit(context);
}

LibusbTransport::LibusbTransport() {
    libusb_context* raw = nullptr;
    initResult_ = libusb_init(&raw);
    if (initResult_ == LIBUSB_SUCCESS) context_.reset(raw);
}

LibusbTransport::~LibusbTransport() = default;

int LibusbTransport::listDevices(std::vector<UsbDeviceEntry>& devices) {
    devices.clear();
    if (!context_) return initResult_;
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context_.get(), &raw);
    if (count < 0) return static_cast<int>(count);
    const DeviceList list(raw);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(raw[i], &descriptor) != LIBUSB_SUCCESS) continue;
        devices.push_back({libusb_get_bus_number(raw[i]), libusb_get_device_address(raw[i]),
                           descriptor.idVendor, descriptor.idProduct});
    }
    return LIBUSB_SUCCESS;
}

int LibusbTransport::readString(const UsbDeviceEntry& device, UsbString which, std::string& text) {
    text.clear();
    if (!context_) return initResult_;
    Handle handle;
    int rc = openEntry(context_.get(), device, handle);
    if (rc != LIBUSB_SUCCESS) return rc;
    libusb_device_descriptor descriptor{};
    rc = libusb_get_device_descriptor(libusb_get_device(handle.get()), &descriptor);
    if (rc != LIBUSB_SUCCESS) return rc;
    const uint8_t index = which == UsbString::SerialNumber ? descriptor.iSerialNumber : descriptor.iProduct;
    if (index == 0) return LIBUSB_SUCCESS;
    // A string descriptor holds at most 126 UTF-16 units; libusb turns them into ASCII.
    std::array<unsigned char, 256> buffer{};
    rc = libusb_get_string_descriptor_ascii(handle.get(), index, buffer.data(),
                                            static_cast<int>(buffer.size()));
    if (rc < 0) return rc;
    text.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(rc));
    return LIBUSB_SUCCESS;
}

int LibusbTransport::open(const UsbDeviceEntry& device, std::unique_ptr<UsbDevice>& opened) {
    opened.reset();
    if (!context_) return initResult_;
    Handle handle;
    const int rc = openEntry(context_.get(), device, handle);
    if (rc != LIBUSB_SUCCESS) return rc;
    opened = std::make_unique<LibusbDevice>(std::move(handle));
    return LIBUSB_SUCCESS;
}

UsbLibraryVersion LibusbTransport::version() {
    const libusb_version* v = libusb_get_version();
    return {v->major, v->minor, v->micro, v->nano};
}

}  // namespace vz
