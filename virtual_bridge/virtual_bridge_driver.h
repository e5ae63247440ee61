#pragma once
// The bridge library over the virtual crate: the same operations and status codes as a real bridge.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "link/bridge.h"

namespace vsim {
class VirtualCrate;
}

namespace vz {

class CrateStateFile;

class VirtualBridgeDriver final : public BridgeLibrary, public ReferenceMeter {
  public:
    explicit VirtualBridgeDriver(std::unique_ptr<vsim::VirtualCrate> crate);
    ~VirtualBridgeDriver() override;

    uint8_t getNumDevices(uint32_t& count) override;
    uint8_t getProductString(uint32_t index, char* buffer, int kind) override;
    uint8_t open(uint32_t index, SiHandle& handle) override;
    uint8_t close(SiHandle handle) override;
    uint8_t read(SiHandle handle, void* buffer, uint32_t length, uint32_t& received) override;
    uint8_t write(SiHandle handle, const void* buffer, uint32_t length, uint32_t& written) override;
    uint8_t flushBuffers(SiHandle handle, bool transmit, bool receive) override;
    uint8_t setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    uint8_t checkRxQueue(SiHandle handle, uint32_t& bytesInQueue, uint32_t& queueStatus) override;
    uint8_t setBaudRate(SiHandle handle, uint32_t baud) override;
    uint8_t setLineControl(SiHandle handle, uint16_t lineControl) override;
    uint8_t setFlowControl(SiHandle handle, uint8_t ctsMode, uint8_t rtsMode, uint8_t dtrMode,
                           uint8_t dsrMode, uint8_t dcdMode, bool xonXoff) override;
    uint8_t getModemStatus(SiHandle handle, uint8_t& status) override;
    uint8_t getDllVersion(uint32_t& high, uint32_t& low) override;
    uint8_t getDriverVersion(uint32_t& high, uint32_t& low) override;
    // The crate's multimeter: what a module's output truly is, on the bridge opened last.
    ReferenceMeter* referenceMeter() override { return this; }
    std::optional<double> readOutput(int channel, bool current, std::string& error) override;

    // The crate itself, for tests and tools; from another thread than the link's, hold crateLock().
    vsim::VirtualCrate& crate() { return *crate_; }
    std::mutex& crateLock() { return mutex_; }
    uint32_t readTimeoutMs() const { return readTimeoutMs_; }
    uint32_t writeTimeoutMs() const { return writeTimeoutMs_; }
    // From now on the crate's state is written to this file after the exchanges that changed it and
    // when the bridge is closed; the file stays locked until the driver goes.
    void keepStateIn(std::unique_ptr<CrateStateFile> file);
    const CrateStateFile* stateFile() const { return state_.get(); }

  private:
    static void saveAllAtExit();
    void saveState(bool now);
    int slotOf(SiHandle handle) const;
    std::unique_ptr<vsim::VirtualCrate> crate_;
    std::unique_ptr<CrateStateFile> state_;
    // The virtual crate is one object shared by every thread that reaches the bridge.
    std::mutex mutex_;
    uint32_t readTimeoutMs_ = 0;  // 0: wait indefinitely, as the vendor library
    uint32_t writeTimeoutMs_ = 0;
    uint8_t rts_ = 0, dtr_ = 0;
};

}  // namespace vz
