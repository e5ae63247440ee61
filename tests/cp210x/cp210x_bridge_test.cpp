// Enumeration, open and close, and the vendor requests the line settings turn into.
#include <array>
#include <functional>
#include <string>

#include "base/debug_log.h"
#include "tests/cp210x/bridge_fixture.h"

namespace vz::test {
namespace {

std::string productString(BridgeLibrary& bridge, uint32_t index, int kind, uint8_t& status) {
    std::array<char, kSiMaxString> buffer;
    buffer.fill('x');
    status = bridge.getProductString(index, buffer.data(), kind);
    return buffer.data();
}

using Enumeration = BridgeFixture;

TEST_F(Enumeration, ListsOnlyCrateVendorDevicesWithTheirStrings) {
    // Order on the bus: a stock CP210x, the crate's bridge, a mouse, a crate bridge of unknown type.
    usb->devices.clear();
    usb->add(0x10C4, 0xEA60, "0001", "CP2102 USB to UART Bridge Controller");
    usb->add(0x1A2B, 0x0010, "QX-7", "QX308 crate controller");
    usb->add(0x046D, 0xC077, "", "USB Optical Mouse");
    usb->add(0x1A2B, 0x0013, "X-13", "Prototype");

    uint32_t count = 99;
    ASSERT_EQ(bridge->getNumDevices(count), SI_SUCCESS);
    ASSERT_EQ(count, 2u);

    struct Case {
        uint32_t index;
        int kind;
        const char* text;
    };
    for (const Case& c :
         {Case{0, SI_RETURN_SERIAL_NUMBER, "QX-7"}, Case{0, SI_RETURN_DESCRIPTION, "QX308 crate controller"},
          Case{0, SI_RETURN_VID, "1A2B"}, Case{0, SI_RETURN_PID, "0010"},
          Case{1, SI_RETURN_SERIAL_NUMBER, "X-13"}, Case{1, SI_RETURN_PID, "0013"}}) {
        uint8_t status = 0xAA;
        EXPECT_EQ(productString(*bridge, c.index, c.kind, status), c.text) << c.index << " kind " << c.kind;
        EXPECT_EQ(status, SI_SUCCESS);
    }

    // Index 1 opens the second crate bridge, not the mouse behind the first one.
    SiHandle handle = kNoHandle;
    ASSERT_EQ(bridge->open(1, handle), SI_SUCCESS);
    EXPECT_TRUE(usb->devices[3].claimed);
    EXPECT_FALSE(usb->devices[2].openNow);
}

TEST_F(Enumeration, BadQueriesFailWithEmptyText) {
    uint32_t count = 0;
    ASSERT_EQ(bridge->getNumDevices(count), SI_SUCCESS);
    crate->stringResult = LIBUSB_ERROR_ACCESS;  // no permission on the device node

    struct Case {
        uint32_t index;
        int kind;
        uint8_t status;
    };
    for (const Case& c : {Case{0, SI_RETURN_SERIAL_NUMBER, SI_SYSTEM_ERROR_CODE},
                          Case{0, SI_RETURN_DESCRIPTION, SI_SYSTEM_ERROR_CODE},
                          Case{0, 2, SI_INVALID_PARAMETER}, Case{1, SI_RETURN_VID, SI_DEVICE_NOT_FOUND}}) {
        uint8_t status = 0;
        EXPECT_EQ(productString(*bridge, c.index, c.kind, status), "") << c.kind;
        EXPECT_EQ(status, c.status) << c.index << " kind " << c.kind;
    }
    EXPECT_EQ(bridge->getProductString(0, nullptr, SI_RETURN_VID), SI_INVALID_PARAMETER);
}

TEST_F(Enumeration, OverlongStringIsCutToTheBuffer) {
    crate->product = std::string(400, 'p');
    uint8_t status = 0xAA;
    EXPECT_EQ(productString(*bridge, 0, SI_RETURN_DESCRIPTION, status), std::string(kSiMaxString - 1, 'p'));
    EXPECT_EQ(status, SI_SUCCESS);
}

TEST_F(Enumeration, FailingBusListsNothing) {
    usb->listResult = LIBUSB_ERROR_NO_MEM;
    uint32_t count = 7;
    EXPECT_NE(bridge->getNumDevices(count), SI_SUCCESS);
    EXPECT_EQ(count, 0u);
    SiHandle handle = 5;
    EXPECT_EQ(bridge->open(0, handle), SI_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, kNoHandle);
}

using OpenClose = BridgeFixture;

TEST_F(OpenClose, OpenClaimsAndEnablesCloseDisablesAndFrees) {
    uint32_t count = 0;
    ASSERT_EQ(bridge->getNumDevices(count), SI_SUCCESS);
    SiHandle handle = kNoHandle;
    ASSERT_EQ(bridge->open(0, handle), SI_SUCCESS);
    EXPECT_NE(handle, kNoHandle);
    EXPECT_TRUE(crate->claimed);
    ASSERT_EQ(usb->controls.size(), 1u);
    EXPECT_EQ(usb->controls[0], (ControlTransfer{0x41, 0x00, 0x0001, 0, 0, {}}));

    // Held by us: a second open is refused like any other holder's, and the first stays usable.
    SiHandle second = kNoHandle;
    EXPECT_NE(bridge->open(0, second), SI_SUCCESS);
    EXPECT_EQ(second, kNoHandle);
    EXPECT_EQ(bridge->setBaudRate(handle, 115200), SI_SUCCESS);

    usb->controls.clear();
    ASSERT_EQ(bridge->close(handle), SI_SUCCESS);
    EXPECT_EQ(usb->controls, (std::vector<ControlTransfer>{{0x41, 0x00, 0x0000, 0, 0, {}}}));
    EXPECT_FALSE(crate->claimed);
    EXPECT_FALSE(crate->openNow);

    // The old handle is dead; the device is free again and gets a new handle.
    uint32_t n = 1;
    EXPECT_EQ(bridge->read(handle, &n, 1, n), SI_INVALID_HANDLE);
    EXPECT_EQ(bridge->close(handle), SI_INVALID_HANDLE);
    ASSERT_EQ(bridge->open(0, second), SI_SUCCESS);
    EXPECT_NE(second, handle);
}

TEST_F(OpenClose, FailedOpenLeavesTheDeviceAlone) {
    struct Case {
        const char* name;
        std::function<void(FakeDevice&)> setup;
        uint8_t status;
    };
    const Case cases[] = {
        {"held by another program", [](FakeDevice& d) { d.claimResult = LIBUSB_ERROR_BUSY; },
         SI_DEVICE_IO_FAILED},
        {"no permission", [](FakeDevice& d) { d.openResult = LIBUSB_ERROR_ACCESS; }, SI_SYSTEM_ERROR_CODE},
        {"unplugged since listing", [](FakeDevice& d) { d.openResult = LIBUSB_ERROR_NO_DEVICE; },
         SI_DEVICE_NOT_FOUND},
        {"no bulk endpoints", [](FakeDevice& d) { d.hasBulkEndpoints = false; }, SI_DEVICE_IO_FAILED},
        {"UART enable stalls", [](FakeDevice& d) { d.controlFailures[0x00] = LIBUSB_ERROR_PIPE; },
         SI_DEVICE_IO_FAILED},
    };
    std::vector<std::string> log;
    setDebugLogOutput([&](std::string_view line) { log.emplace_back(line); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *crate = FakeDevice{crate->entry};
        c.setup(*crate);
        uint32_t count = 0;
        ASSERT_EQ(bridge->getNumDevices(count), SI_SUCCESS);
        SiHandle handle = 42;
        log.clear();
        EXPECT_EQ(bridge->open(0, handle), c.status);
        EXPECT_EQ(handle, kNoHandle);
        EXPECT_FALSE(crate->claimed);
        EXPECT_FALSE(crate->openNow);
        // Only a denied access points at the udev rule.
        bool pointsAtRule = false;
        for (const auto& l : log) pointsAtRule |= l.find("udev rule 99-vidizozorez.rules") != std::string::npos;
        EXPECT_EQ(pointsAtRule, std::string(c.name) == "no permission");
    }
    setDebugLogOutput(nullptr);
}

TEST_F(OpenClose, DestroyingTheDriverClosesOpenDevices) {
    openCrate();
    bridge.reset();
    EXPECT_FALSE(crate->claimed);
    EXPECT_FALSE(crate->openNow);
    EXPECT_EQ(usb->controls.back(), (ControlTransfer{0x41, 0x00, 0x0000, 0, 0, {}}));
}

using Requests = BridgeFixture;

TEST_F(Requests, LineSettingsBecomeTheseVendorRequests) {
    const SiHandle h = openCrate();
    const std::vector<uint8_t> limits = {0x80, 0, 0, 0, 0x80, 0, 0, 0};
    auto flowData = [&](std::vector<uint8_t> handshakeAndReplace) {
        handshakeAndReplace.insert(handshakeAndReplace.end(), limits.begin(), limits.end());
        return handshakeAndReplace;
    };
    struct Case {
        const char* name;
        std::function<uint8_t(BridgeLibrary&, SiHandle)> call;
        std::vector<ControlTransfer> sent;
    };
    const Case cases[] = {
        {"baud 115200",
         [](BridgeLibrary& b, SiHandle s) { return b.setBaudRate(s, 115200); },
         {{0x41, 0x1E, 0, 0, 4, {0x00, 0xC2, 0x01, 0x00}}}},
        {"baud 9600",
         [](BridgeLibrary& b, SiHandle s) { return b.setBaudRate(s, 9600); },
         {{0x41, 0x1E, 0, 0, 4, {0x80, 0x25, 0x00, 0x00}}}},
        {"8O1",
         [](BridgeLibrary& b, SiHandle s) { return b.setLineControl(s, 0x0810); },
         {{0x41, 0x03, 0x0810, 0, 0, {}}}},
        {"8N1",
         [](BridgeLibrary& b, SiHandle s) { return b.setLineControl(s, 0x0800); },
         {{0x41, 0x03, 0x0800, 0, 0, {}}}},
        {"RTS and DTR held inactive",
         [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 0, 0, 0, 0, 0, false); },
         {{0x41, 0x13, 0, 0, 16, flowData({0, 0, 0, 0, 0, 0, 0, 0})}, {0x41, 0x07, 0x0300, 0, 0, {}}}},
        {"RTS active",
         [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 0, 1, 0, 0, 0, false); },
         {{0x41, 0x13, 0, 0, 16, flowData({0, 0, 0, 0, 0x40, 0, 0, 0})}, {0x41, 0x07, 0x0302, 0, 0, {}}}},
        {"DTR active",
         [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 0, 0, 1, 0, 0, false); },
         {{0x41, 0x13, 0, 0, 16, flowData({0x01, 0, 0, 0, 0, 0, 0, 0})}, {0x41, 0x07, 0x0301, 0, 0, {}}}},
        {"handshakes and XON/XOFF",
         [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 1, 1, 1, 1, 1, true); },
         {{0x41, 0x13, 0, 0, 16, flowData({0x39, 0, 0, 0, 0x43, 0, 0, 0})}, {0x41, 0x07, 0x0303, 0, 0, {}}}},
        {"RTS under flow control keeps its mask clear",
         [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 1, 2, 0, 0, 0, false); },
         {{0x41, 0x13, 0, 0, 16, flowData({0x08, 0, 0, 0, 0x80, 0, 0, 0})}, {0x41, 0x07, 0x0100, 0, 0, {}}}},
        {"both lines under flow control: no SET_MHS",
         [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 0, 2, 2, 0, 0, false); },
         {{0x41, 0x13, 0, 0, 16, flowData({0x02, 0, 0, 0, 0x80, 0, 0, 0})}}},
        {"purge both",
         [](BridgeLibrary& b, SiHandle s) { return b.flushBuffers(s, true, true); },
         {{0x41, 0x12, 0x000F, 0, 0, {}}}},
        {"purge transmit",
         [](BridgeLibrary& b, SiHandle s) { return b.flushBuffers(s, true, false); },
         {{0x41, 0x12, 0x0005, 0, 0, {}}}},
        {"purge receive",
         [](BridgeLibrary& b, SiHandle s) { return b.flushBuffers(s, false, true); },
         {{0x41, 0x12, 0x000A, 0, 0, {}}}},
        {"purge nothing", [](BridgeLibrary& b, SiHandle s) { return b.flushBuffers(s, false, false); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        usb->controls.clear();
        EXPECT_EQ(c.call(*bridge, h), SI_SUCCESS);
        EXPECT_EQ(usb->controls, c.sent);
    }
}

TEST_F(Requests, RefusedSettingsSendNothing) {
    const SiHandle h = openCrate();
    struct Case {
        const char* name;
        std::function<uint8_t(BridgeLibrary&, SiHandle)> call;
        uint8_t status;
    };
    const Case cases[] = {
        {"baud 0", [](BridgeLibrary& b, SiHandle s) { return b.setBaudRate(s, 0); }, SI_INVALID_BAUDRATE},
        {"9 data bits", [](BridgeLibrary& b, SiHandle s) { return b.setLineControl(s, 0x0910); },
         SI_INVALID_PARAMETER},
        {"4 data bits", [](BridgeLibrary& b, SiHandle s) { return b.setLineControl(s, 0x0400); },
         SI_INVALID_PARAMETER},
        {"parity 5", [](BridgeLibrary& b, SiHandle s) { return b.setLineControl(s, 0x0850); },
         SI_INVALID_PARAMETER},
        {"stop code 3", [](BridgeLibrary& b, SiHandle s) { return b.setLineControl(s, 0x0803); },
         SI_INVALID_PARAMETER},
        {"RTS mode 4", [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 0, 4, 0, 0, 0, false); },
         SI_INVALID_PARAMETER},
        {"DTR mode 3", [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 0, 0, 3, 0, 0, false); },
         SI_INVALID_PARAMETER},
        {"CTS mode 2", [](BridgeLibrary& b, SiHandle s) { return b.setFlowControl(s, 2, 0, 0, 0, 0, false); },
         SI_INVALID_PARAMETER},
        {"stale handle", [](BridgeLibrary& b, SiHandle s) { return b.setBaudRate(s + 1, 115200); },
         SI_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(*bridge, h), c.status);
        EXPECT_TRUE(usb->controls.empty());
    }
}

TEST_F(Requests, DeviceRefusalsAreReported) {
    const SiHandle h = openCrate();
    crate->controlFailures[0x1E] = LIBUSB_ERROR_PIPE;  // a rate the bridge cannot make
    EXPECT_EQ(bridge->setBaudRate(h, 4000000), SI_INVALID_BAUDRATE);
    crate->controlFailures[0x13] = LIBUSB_ERROR_NO_DEVICE;
    EXPECT_EQ(bridge->setFlowControl(h, 0, 1, 1, 0, 0, false), SI_DEVICE_NOT_FOUND);
    EXPECT_EQ(usb->controls.back().request, 0x13) << "SET_MHS must not follow a failed SET_FLOW";
    crate->controlFailures[0x12] = LIBUSB_ERROR_TIMEOUT;
    EXPECT_EQ(bridge->flushBuffers(h, true, true), SI_DEVICE_IO_FAILED);
}

TEST_F(Requests, ModemStatusAndReceiveQueue) {
    const SiHandle h = openCrate();
    crate->controlReplies[0x08] = {0xB1};
    std::vector<uint8_t> comm(19, 0);
    comm[0] = 0x08;  // queue overrun
    comm[8] = 0x07;
    comm[9] = 0x01;  // 263 bytes waiting
    crate->controlReplies[0x10] = comm;

    uint8_t modem = 0;
    EXPECT_EQ(bridge->getModemStatus(h, modem), SI_SUCCESS);
    EXPECT_EQ(modem, 0xB1);
    uint32_t bytes = 0, queue = 0;
    EXPECT_EQ(bridge->checkRxQueue(h, bytes, queue), SI_SUCCESS);
    EXPECT_EQ(bytes, 263u);
    EXPECT_EQ(queue, Cp210xBridge::kRxReady | Cp210xBridge::kRxOverrun);
    EXPECT_EQ(usb->controls,
              (std::vector<ControlTransfer>{{0xC1, 0x08, 0, 0, 1, {}}, {0xC1, 0x10, 0, 0, 19, {}}}));

    // Short or missing replies are errors, not made-up figures.
    crate->controlReplies[0x10].resize(18);
    crate->controlReplies.erase(0x08);
    modem = 0x55;
    EXPECT_EQ(bridge->checkRxQueue(h, bytes, queue), SI_DEVICE_IO_FAILED);
    EXPECT_EQ(bytes, 0u);
    EXPECT_NE(bridge->getModemStatus(h, modem), SI_SUCCESS);
    EXPECT_EQ(modem, 0);
}

}  // namespace
}  // namespace vz::test
