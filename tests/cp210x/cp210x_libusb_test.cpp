// The driver over the real libusb, on whatever bus this machine has (usually none, never a crate).
#include <gtest/gtest.h>
#include <libusb-1.0/libusb.h>

#include "link/cp210x/cp210x_bridge.h"
#include "link/cp210x/cp210x_libusb_transport.h"

namespace vz {
namespace {

TEST(LibusbTransport, WithoutCrateBridgesNothingOpens) {
    auto transport = std::make_unique<LibusbTransport>();
    std::vector<UsbDeviceEntry> all;
    const int listed = transport->listDevices(all);
    if (transport->initResult() < 0) {
        EXPECT_EQ(listed, transport->initResult());
    }
    if (listed < 0) {
        EXPECT_TRUE(all.empty());
    }

    Cp210xBridge bridge(std::move(transport));
    uint32_t count = 0;
    const uint8_t status = bridge.getNumDevices(count);
    if (status != SI_SUCCESS) {
        EXPECT_EQ(count, 0u);
    }
    SiHandle handle = 1;
    EXPECT_EQ(bridge.open(count, handle), SI_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, kNoHandle);

    uint32_t high = 0, low = 0;
    ASSERT_EQ(bridge.getDllVersion(high, low), SI_SUCCESS);
    const libusb_version* v = libusb_get_version();
    EXPECT_EQ(high, (uint32_t{v->major} << 16) | v->minor);
    EXPECT_EQ(low, (uint32_t{v->micro} << 16) | v->nano);
}

}  // namespace
}  // namespace vz
