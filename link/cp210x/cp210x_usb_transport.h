#pragma once
// The seam below the CP210x driver: the few USB operations it needs, in libusb's terms (results are
// 0 or a negative LIBUSB_ERROR_* code; transfers return the byte count or such a code). The real
// implementation is LibusbTransport; tests put a scripted device behind it.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vz {

// One attached device as the bus shows it. Bus number and address identify it while it stays
// plugged in; a re-plugged device gets a new address, so an old entry no longer opens it.
struct UsbDeviceEntry {
    uint8_t bus = 0;
    uint8_t address = 0;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

enum class UsbString { SerialNumber, Product };

struct UsbLibraryVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t micro = 0;
    uint16_t nano = 0;
};

// An open device; destroying it closes the device.
class UsbDevice {
  public:
    virtual ~UsbDevice() = default;

    // Detaches a kernel driver bound to the interface (and re-attaches it on release) where the
    // platform supports it. LIBUSB_ERROR_BUSY while another program has claimed the interface.
    virtual int claimInterface(int number) = 0;
    virtual int releaseInterface(int number) = 0;
    // Addresses of the first bulk IN and bulk OUT endpoints of the interface (alternate setting 0).
    virtual int bulkEndpoints(int interfaceNumber, uint8_t& in, uint8_t& out) = 0;

    virtual int controlOut(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                           std::span<const uint8_t> data, unsigned timeoutMs) = 0;
    virtual int controlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                          std::span<uint8_t> data, unsigned timeoutMs) = 0;
    // timeoutMs 0 waits without limit. On LIBUSB_ERROR_TIMEOUT `transferred` still counts the
    // bytes that moved before the time ran out.
    virtual int bulkOut(uint8_t endpoint, std::span<const uint8_t> data, unsigned timeoutMs,
                        int& transferred) = 0;
    virtual int bulkIn(uint8_t endpoint, std::span<uint8_t> data, unsigned timeoutMs, int& transferred) = 0;
};

class UsbTransport {
  public:
    virtual ~UsbTransport() = default;

    virtual int listDevices(std::vector<UsbDeviceEntry>& devices) = 0;
    // Reads a string descriptor named by the device descriptor; a device without that string
    // gives an empty text. Opens the device briefly, which works while another program holds it.
    virtual int readString(const UsbDeviceEntry& device, UsbString which, std::string& text) = 0;
    virtual int open(const UsbDeviceEntry& device, std::unique_ptr<UsbDevice>& opened) = 0;
    virtual UsbLibraryVersion version() = 0;
};

}  // namespace vz
