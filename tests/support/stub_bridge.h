#pragma once
// A bridge whose line settings, versions and modem lines all succeed without effect: test bridges
// derive from it and write only the operations their test is about.
#include "link/bridge.h"

namespace vz::test {

class StubBridge : public BridgeLibrary {
  public:
    uint8_t close(SiHandle) override { return SI_SUCCESS; }
    uint8_t flushBuffers(SiHandle, bool, bool) override { return SI_SUCCESS; }
    uint8_t setTimeouts(uint32_t, uint32_t) override { return SI_SUCCESS; }
    uint8_t checkRxQueue(SiHandle, uint32_t& bytes, uint32_t& status) override {
        bytes = status = 0;
        return SI_SUCCESS;
    }
    uint8_t setBaudRate(SiHandle, uint32_t) override { return SI_SUCCESS; }
    uint8_t setLineControl(SiHandle, uint16_t) override { return SI_SUCCESS; }
    uint8_t setFlowControl(SiHandle, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, bool) override {
        return SI_SUCCESS;
    }
    uint8_t getModemStatus(SiHandle, uint8_t& status) override {
        status = 0;
        return SI_SUCCESS;
    }
    uint8_t getDllVersion(uint32_t& high, uint32_t& low) override {
        high = low = 0;
        return SI_SUCCESS;
    }
    uint8_t getDriverVersion(uint32_t& high, uint32_t& low) override {
        high = low = 0;
        return SI_SUCCESS;
    }
};

}  // namespace vz::test
