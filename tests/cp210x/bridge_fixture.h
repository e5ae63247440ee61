#pragma once
// A CP210x driver over the fake bus, in virtual time, with one crate bridge attached.
#include <gtest/gtest.h>

#include <memory>

#include "base/clock.h"
#include "link/cp210x/cp210x_bridge.h"
#include "tests/cp210x/fake_usb_transport.h"

namespace vz::test {

class BridgeFixture : public ::testing::Test {
  protected:
    BridgeFixture() {
        crate = &usb->add(0x1A2B, 0x0011, "WDX-0042", "WDX crate controller");
        bridge = std::make_unique<Cp210xBridge>(std::make_unique<BorrowedTransport>(bus));
        setClock(&clock);
    }
    ~BridgeFixture() override {
        bridge.reset();
        setClock(nullptr);
    }

    SiHandle openCrate() {
        uint32_t count = 0;
        EXPECT_EQ(bridge->getNumDevices(count), SI_SUCCESS);
        SiHandle handle = kNoHandle;
        EXPECT_EQ(bridge->open(0, handle), SI_SUCCESS);
        usb->controls.clear();
        return handle;
    }

    VirtualClock clock;
    FakeUsbTransport bus{clock};
    FakeUsbTransport* usb = &bus;
    FakeDevice* crate = nullptr;
    std::unique_ptr<Cp210xBridge> bridge;
};

}  // namespace vz::test
