#pragma once
// The USB seam over libusb-1.0: what runs with real bridges attached.
#include <memory>

#include "link/cp210x/cp210x_usb_transport.h"

struct libusb_context;

namespace vz {

class LibusbTransport final : public UsbTransport {
  public:
    LibusbTransport();
    ~LibusbTransport() override;
    LibusbTransport(const LibusbTransport&) = delete;
    LibusbTransport& operator=(const LibusbTransport&) = delete;

    // Every operation returns this error when libusb could not start (no USB on the machine).
    int initResult() const { return initResult_; }

    int listDevices(std::vector<UsbDeviceEntry>& devices) override;
    int readString(const UsbDeviceEntry& device, UsbString which, std::string& text) override;
    int open(const UsbDeviceEntry& device, std::unique_ptr<UsbDevice>& opened) override;
    UsbLibraryVersion version() override;

  private:
    struct ContextDeleter {
        void operator()(libusb_context* context) const;
    };
    std::unique_ptr<libusb_context, ContextDeleter> context_;
    int initResult_ = 0;
};

}  // namespace vz
