#pragma once
// A USB bus under umockdev with one emulated CP210x bridge for each bridge of a virtual crate.
// libusb and the real driver see device nodes, sysfs entries and descriptors; this code answers
// their usbdevfs requests as the bridge would and moves the bulk bytes to and from the crate's
// serial line, so the whole path from the link down to the ioctls runs without hardware.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vsim {
class VirtualCrate;
}

namespace vz::test {

// A vendor request as the bridge received it.
struct ControlRequest {
    std::string serial;
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    std::vector<uint8_t> data;  // the payload of a host-to-device request
};

class EmulatedCp210xBus {
  public:
    // Only in a process started with LD_PRELOAD=libumockdev-preload.so.0, and before the first
    // libusb context: libusb reads the bus when it starts.
    explicit EmulatedCp210xBus(vsim::VirtualCrate& crate);
    ~EmulatedCp210xBus();
    EmulatedCp210xBus(const EmulatedCp210xBus&) = delete;
    EmulatedCp210xBus& operator=(const EmulatedCp210xBus&) = delete;

    // Vendor requests received so far, in order; string descriptor reads are not listed.
    std::vector<ControlRequest> controlRequests() const;
    void clearControlRequests();
    // While blocked, bulk OUT transfers to this bridge stay pending, as when its transmit queue
    // does not drain; the host can only time out or cancel them.
    void blockBulkOut(const std::string& serial, bool blocked);
    // Pulls the bridge off the bus: pending transfers end as the kernel ends them on a disconnect,
    // every later request on an open handle fails with ENODEV and the bus no longer lists it.
    void unplug(const std::string& serial);
    // Bulk IN transfers of this bridge waiting for bytes.
    int pendingBulkIn(const std::string& serial) const;
    // Requests the devices did not know (0 when the driver kept to what a CP210x answers).
    int unknownRequests() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vz::test
