#pragma once
// The bridge library for real hardware: Silicon Labs CP210x bridges of the crate controllers,
// driven through vendor requests and bulk transfers over a UsbTransport.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "link/bridge.h"
#include "link/cp210x/cp210x_usb_transport.h"

namespace vz {

class Cp210xBridge final : public BridgeLibrary {
  public:
    // Only bridges with this vendor id are listed; the link classifies their product ids.
    static constexpr uint16_t kVendorId = 0x1A2B;
    static constexpr int kInterface = 0;
    // Vendor requests are answered by the bridge itself, not by the far end of the line.
    static constexpr unsigned kControlTimeoutMs = 1000;
    // Queue status bits of checkRxQueue.
    static constexpr uint32_t kRxOverrun = 0x01;
    static constexpr uint32_t kRxReady = 0x02;

    explicit Cp210xBridge(std::unique_ptr<UsbTransport> transport);
    ~Cp210xBridge() override;
    Cp210xBridge(const Cp210xBridge&) = delete;
    Cp210xBridge& operator=(const Cp210xBridge&) = delete;

    // Takes a fresh list of the attached bridges; indices of the later calls refer to it.
    uint8_t getNumDevices(uint32_t& count) override;
    uint8_t getProductString(uint32_t index, char* buffer, int kind) override;
    uint8_t open(uint32_t index, SiHandle& handle) override;
    uint8_t close(SiHandle handle) override;
    uint8_t read(SiHandle handle, void* buffer, uint32_t length, uint32_t& received) override;
    uint8_t write(SiHandle handle, const void* buffer, uint32_t length, uint32_t& written) override;
    uint8_t flushBuffers(SiHandle handle, bool transmit, bool receive) override;
    // 0 waits without limit, as the vendor library does; that is also the setting until called.
    uint8_t setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    uint8_t checkRxQueue(SiHandle handle, uint32_t& bytesInQueue, uint32_t& queueStatus) override;
    uint8_t setBaudRate(SiHandle handle, uint32_t baud) override;
    uint8_t setLineControl(SiHandle handle, uint16_t lineControl) override;
    uint8_t setFlowControl(SiHandle handle, uint8_t ctsMode, uint8_t rtsMode, uint8_t dtrMode,
                           uint8_t dsrMode, uint8_t dcdMode, bool xonXoff) override;
    uint8_t getModemStatus(SiHandle handle, uint8_t& status) override;
    uint8_t getDllVersion(uint32_t& high, uint32_t& low) override;
    // The Linux kernel release (see kernelVersionWords).
    uint8_t getDriverVersion(uint32_t& high, uint32_t& low) override;

  private:
    struct OpenDevice;

    uint8_t refreshDevices();
    OpenDevice* find(SiHandle handle);
    uint8_t controlOut(OpenDevice& device, uint8_t request, uint16_t value,
                       std::span<const uint8_t> data = {});
    uint8_t controlIn(OpenDevice& device, uint8_t request, std::span<uint8_t> data);
    void shutDown(OpenDevice& device);

    std::unique_ptr<UsbTransport> transport_;
    std::mutex mutex_;
    std::vector<UsbDeviceEntry> devices_;
    bool listed_ = false;
    std::map<SiHandle, std::unique_ptr<OpenDevice>> open_;
    SiHandle nextHandle_ = 1;
    uint32_t readTimeoutMs_ = 0;
    uint32_t writeTimeoutMs_ = 0;
};

// The driver over libusb, for the port argument of real hardware.
std::unique_ptr<BridgeLibrary> makeCp210xBridge();

}  // namespace vz
