// The link and the libusb CP210x driver end to end: libusb enumerates and opens bridges that umockdev
// emulates at the usbdevfs level, and the emulated bridges hand the bytes to the virtual crate.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/core/crate_session.h"
#include "base/clock.h"
#include "base/controller_type.h"
#include "base/settings.h"
#include "link/bridge.h"
#include "link/cp210x/cp210x_bridge.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/virtual_crate.h"
#include "tests/support/scripted_operator.h"
#include "tests/usb_mock/emulated_cp210x_bus.h"

namespace vz {
namespace {

using test::ControlRequest;
using test::EmulatedCp210xBus;
using test::ProcessExit;
using Bytes = std::vector<uint8_t>;

std::string bridgeJson(const std::string& serial, const std::string& pid, bool busy = false) {
    return R"({"serial": ")" + serial + R"(", "description": "Crate )" + serial + R"(", "pid": ")" + pid +
           R"(", "busy": )" + (busy ? "true" : "false") + "}";
}

std::string scenario(const std::string& bridges) {
    return R"({"controller": {"type": 18, "lineRate": false}, "bridges": [)" + bridges +
           R"(], "modules": [{"channel": 0, "serialNumber": 7}]})";
}

int64_t elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
        .count();
}

// A transfer that ignored its time-out would wait forever; one that ends only this long after it has
// done so. Everything shorter passes, so a busy machine cannot fail these tests.
constexpr int64_t kHangMs = 30000;

// The requests that matter here: request code, wValue and payload of the vendor requests to one bridge.
struct Sent {
    uint8_t request;
    uint16_t value;
    Bytes data;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    os << "{0x" << std::hex << int{s.request} << ", 0x" << s.value << ", [";
    for (uint8_t b : s.data) os << " " << int{b};
    return os << " ]" << std::dec << "}";
}

constexpr uint8_t kIfcEnable = 0x00;
constexpr uint8_t kSetLineCtl = 0x03;
constexpr uint8_t kSetMhs = 0x07;
constexpr uint8_t kPurge = 0x12;
constexpr uint8_t kSetFlow = 0x13;
constexpr uint8_t kSetBaudRate = 0x1E;

// Flow block: control handshake, flow replace, XON limit, XOFF limit, each 32-bit little-endian.
Bytes flowBlock(uint32_t handshake, uint32_t replace) {
    Bytes b(16);
    const uint32_t words[4] = {handshake, replace, 128, 128};
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) b[w * 4 + i] = static_cast<uint8_t>(words[w] >> (8 * i));
    return b;
}

// The scripted operator, with a hook that runs while a message box is up.
class Operator : public test::ScriptedOperator {
  public:
    BoxAnswer messageBox(const BoxRequest& box) override {
        const BoxAnswer answer = ScriptedOperator::messageBox(box);
        if (onBox) onBox();
        return answer;
    }
    std::function<void()> onBox;
};

class EmulatedBridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProcessState();
        // A crate that stops answering makes the link retry until the operator gives up; here he
        // gives up at once, so such a fault fails the test instead of holding it.
        seam.cancelAtPump = 1;
    }

    void TearDown() override {
        usbClose();
        setBridge(nullptr);
        resetProcessState();
        if (bus) {
            EXPECT_EQ(bus->unknownRequests(), 0) << "the driver sent requests a CP210x does not know";
        }
    }

    // Loads the crate, puts its bridges on the emulated bus and the real driver in front of libusb.
    void start(const std::string& json) {
        std::string error;
        crate = vsim::VirtualCrate::fromJsonText(json, error);
        ASSERT_TRUE(crate) << error;
        crate->setTime({[] { return clock().nowUs(); }, [](int64_t us) { clock().sleepUs(us); }});
        bus = std::make_unique<EmulatedCp210xBus>(*crate);
        driver = makeCp210xBridge();
        setBridge(driver.get());
    }

    // The driver's index of a bridge: libusb lists devices in its own order.
    int indexOf(const std::string& serial) {
        uint32_t count = 0;
        EXPECT_EQ(driver->getNumDevices(count), SI_SUCCESS);
        for (uint32_t i = 0; i < count; ++i) {
            char text[kSiMaxString];
            if (driver->getProductString(i, text, SI_RETURN_SERIAL_NUMBER) == SI_SUCCESS && serial == text)
                return static_cast<int>(i);
        }
        ADD_FAILURE() << serial << " is not on the bus";
        return -1;
    }

    std::vector<Sent> sentTo(const std::string& serial) const {
        std::vector<Sent> out;
        for (const ControlRequest& r : bus->controlRequests()) {
            if (r.serial != serial) continue;
            EXPECT_EQ(r.requestType, 0x41) << "request 0x" << std::hex << int{r.request};
            EXPECT_EQ(r.index, 0) << "wIndex must name interface 0";
            out.push_back({r.request, r.value, r.data});
        }
        return out;
    }

    Operator seam;
    std::unique_ptr<vsim::VirtualCrate> crate;
    std::unique_ptr<EmulatedCp210xBus> bus;
    std::unique_ptr<BridgeLibrary> driver;
};

TEST_F(EmulatedBridgeTest, BridgesAreListedByTheirStringsAndTheChosenOneOpens) {
    start(scenario(bridgeJson("VZ0001", "0012") + "," + bridgeJson("VZ0002", "0011")));
    uint32_t count = 0;
    ASSERT_EQ(driver->getNumDevices(count), SI_SUCCESS);
    ASSERT_EQ(count, 2u);
    const int wanted = indexOf("VZ0002");
    ASSERT_GE(wanted, 0);
    char text[kSiMaxString];
    ASSERT_EQ(driver->getProductString(wanted, text, SI_RETURN_PID), SI_SUCCESS);
    EXPECT_STREQ(text, "0011");
    ASSERT_EQ(driver->getProductString(wanted, text, SI_RETURN_VID), SI_SUCCESS);
    EXPECT_STREQ(text, "1A2B");
    ASSERT_EQ(driver->getProductString(wanted, text, SI_RETURN_DESCRIPTION), SI_SUCCESS);
    EXPECT_STREQ(text, "Crate VZ0002");

    seam.deviceChoice = wanted;
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    ASSERT_EQ(seam.deviceDialogs.size(), 1u);
    const auto& list = seam.deviceDialogs[0];
    ASSERT_EQ(list.size(), 2u);
    for (const UsbChoice& choice : list) {
        EXPECT_TRUE(choice.available) << choice.serial;
        EXPECT_EQ(choice.description, "Crate " + choice.serial);
    }
    EXPECT_EQ(list[1 - wanted].serial, "VZ0001");
    EXPECT_EQ(list[wanted].serial, "VZ0002");
    EXPECT_EQ(usbSerial(), "VZ0002");
    EXPECT_EQ(crateSettings().controllerType, kWdx);
    EXPECT_TRUE(seam.boxes.empty());
    // Only the chosen bridge is still open: probing closed both, and the UART of VZ0001 is off again.
    EXPECT_EQ(sentTo("VZ0001"), (std::vector<Sent>{{kIfcEnable, 1, {}}, {kIfcEnable, 0, {}}}));
    EXPECT_EQ(sentTo("VZ0002").back(), (Sent{kPurge, 0x000F, {}}));
}

TEST_F(EmulatedBridgeTest, LineSettingsReachTheBridgeInItsOwnRequests) {
    start(scenario(bridgeJson("VZ0001", "0012")));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    const std::vector<Sent> expected = {
        {kIfcEnable, 1, {}},  // the probe while listing
        {kIfcEnable, 0, {}},
        {kIfcEnable, 1, {}},  // the UART first, then the line
        {kSetFlow, 0, flowBlock(0, 0)},
        {kSetMhs, 0x0300, {}},  // RTS and DTR written, both inactive
        {kSetLineCtl, 0x0810, {}},
        {kSetBaudRate, 0, {0x00, 0xC2, 0x01, 0x00}},
        {kPurge, 0x000F, {}},
    };
    EXPECT_EQ(sentTo("VZ0001"), expected);

    bus->clearControlRequests();
    EXPECT_EQ(usbSetLines(1, 1), SI_SUCCESS);
    EXPECT_EQ(sentTo("VZ0001"),
              (std::vector<Sent>{{kSetFlow, 0, flowBlock(0x01, 0x40)}, {kSetMhs, 0x0303, {}}}));
    bool rts = false, dtr = false;
    ASSERT_TRUE(crate->modemLines(0, rts, dtr));
    EXPECT_TRUE(rts);
    EXPECT_TRUE(dtr);
    uint8_t modem = 0;
    ASSERT_EQ(driver->getModemStatus(linkState().usbHandle, modem), SI_SUCCESS);
    EXPECT_EQ(modem & 0x03, 0x03);  // DTR and RTS as the bridge reports them

    bus->clearControlRequests();
    usbClose();
    EXPECT_EQ(sentTo("VZ0001"), (std::vector<Sent>{{kIfcEnable, 0, {}}}));
}

TEST_F(EmulatedBridgeTest, ModuleReadRoundTripCarriesTheCratesBytes) {
    start(scenario(bridgeJson("VZ0001", "0012")));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    bindDirectOperations();
    crate->clearByteLog();
    // 20 bytes take three exchanges of at most 8; the serial number 7 can only come from the crate,
    // which understands the host only once the baud rate and line control reached it.
    uint8_t data[20] = {};
    ASSERT_EQ(moduleRead(0x80, 0x1000, 0, data, 20), 20);
    EXPECT_EQ(data[0], 7);
    int requests = 0, replies = 0;
    for (const vsim::ByteLogEntry& e : crate->byteLog()) (e.toDevice ? requests : replies)++;
    EXPECT_EQ(requests, 3);
    EXPECT_GE(replies, 3);
    EXPECT_EQ(linkState().usbInfo.readCalls, linkState().usbInfo.writeCalls);
}

TEST_F(EmulatedBridgeTest, ReadsAndWritesEndWithinTheirTimeOuts) {
    start(scenario(bridgeJson("VZ0001", "0012")));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));  // 333 ms for reads and writes
    uint8_t buffer[64];
    uint32_t received = 99;

    // Nothing sent, nothing to read: the read gives up after its time-out, not before, not much after.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(driver->read(linkState().usbHandle, buffer, 10, received), SI_READ_TIMED_OUT);
    EXPECT_EQ(received, 0u);
    EXPECT_GE(elapsedMs(t0), 330);
    EXPECT_LT(elapsedMs(t0), kHangMs);

    // A reply shorter than the read asked for: its bytes come back with the time-out.
    uint8_t request[] = {0x80, 0xAC, 0x00, 0x10, 0x00, 0x00};  // module 0: 8 bytes at 0x1000
    request[5] = checkByte(request, 5);
    uint32_t written = 0;
    ASSERT_EQ(driver->write(linkState().usbHandle, request, sizeof request, written), SI_SUCCESS);
    ASSERT_EQ(written, sizeof request);
    crate->clearByteLog();
    // The bridge's receive queue, as GET_COMM_STATUS reports it, once the reply is in.
    uint32_t queued = 0, queueStatus = 0;
    for (const auto asked = std::chrono::steady_clock::now(); queued == 0 && elapsedMs(asked) < kHangMs;) {
        ASSERT_EQ(driver->checkRxQueue(linkState().usbHandle, queued, queueStatus), SI_SUCCESS);
        if (queued == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(queued, 0u);
    EXPECT_EQ(queueStatus, Cp210xBridge::kRxReady);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(driver->read(linkState().usbHandle, buffer, sizeof buffer, received), SI_READ_TIMED_OUT);
    EXPECT_EQ(received, queued);
    EXPECT_GE(elapsedMs(t0), 330);
    EXPECT_LT(elapsedMs(t0), kHangMs);
    Bytes fromCrate;
    for (const vsim::ByteLogEntry& e : crate->byteLog())
        if (!e.toDevice) fromCrate.insert(fromCrate.end(), e.bytes.begin(), e.bytes.end());
    ASSERT_GT(received, 0u);
    EXPECT_EQ(Bytes(buffer, buffer + received), fromCrate);

    // A bridge that takes no bytes: the write times out and nothing reached the crate.
    bus->blockBulkOut("VZ0001", true);
    crate->clearByteLog();
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(driver->write(linkState().usbHandle, request, sizeof request, written), SI_WRITE_TIMED_OUT);
    EXPECT_EQ(written, 0u);
    EXPECT_GE(elapsedMs(t0), 330);
    EXPECT_LT(elapsedMs(t0), kHangMs);
    EXPECT_TRUE(crate->byteLog().empty());

    // The cancelled transfer leaves the bridge usable.
    bus->blockBulkOut("VZ0001", false);
    bindDirectOperations();
    uint8_t data[4] = {};
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 4);
    EXPECT_EQ(data[0], 7);
}

TEST_F(EmulatedBridgeTest, BridgeHeldByAnotherProgramIsInUseAndRefused) {
    start(scenario(bridgeJson("FREE", "0012") + "," + bridgeJson("HELD", "0012", true)));
    const int held = indexOf("HELD");
    ASSERT_GE(held, 0);
    seam.deviceChoice = held;  // the operator picks the held one anyway
    EXPECT_FALSE(usbOpen(linkState().usbInfo));
    ASSERT_EQ(seam.deviceDialogs.size(), 1u);
    ASSERT_EQ(seam.deviceDialogs[0].size(), 2u);
    EXPECT_TRUE(seam.deviceDialogs[0][1 - held].available);
    EXPECT_FALSE(seam.deviceDialogs[0][held].available);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "USB communication");
    EXPECT_EQ(seam.boxes[0].text,
              "USB open error status 8.\nThis may happen if the USB device is used by another application.");
    EXPECT_EQ(linkState().usbHandle, kNoHandle);
    // The claim failed, so the held bridge never saw a request.
    EXPECT_TRUE(sentTo("HELD").empty());
}

TEST_F(EmulatedBridgeTest, HeldBridgeOpensOnRetryOnceTheOtherProgramLetsGo) {
    start(scenario(bridgeJson("HELD", "0012", true)));
    // The other program lets go while the operator reads "No USB devices found or available".
    seam.answers = {BoxAnswer::Retry};
    seam.onBox = [this] { crate->setBusy("HELD", false); };
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, "No USB devices found or available");
    EXPECT_EQ(usbSerial(), "HELD");
    // The refused claims left nothing behind: the bridge was enabled once, by the open that worked.
    const auto sent = sentTo("HELD");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), (Sent{kIfcEnable, 1, {}}));
    bindDirectOperations();
    uint8_t data[4] = {};
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 4);
    EXPECT_EQ(data[0], 7);
}

TEST_F(EmulatedBridgeTest, UnplugEndsAPendingReadAndTheReconnectReportsIt) {
    start(scenario(bridgeJson("VZ0001", "0012")));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    bindDirectOperations();
    // A time-out far beyond the test's bound, so that a read that ends within it ended because of the unplug.
    ASSERT_EQ(driver->setTimeouts(3 * kHangMs, 3 * kHangMs), SI_SUCCESS);
    std::thread puller([this] {
        // Pulled once the read waits in libusb.
        for (const auto t = std::chrono::steady_clock::now();
             bus->pendingBulkIn("VZ0001") == 0 && elapsedMs(t) < kHangMs;)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        bus->unplug("VZ0001");
    });
    uint8_t buffer[16];
    uint32_t received = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const uint8_t status = driver->read(linkState().usbHandle, buffer, sizeof buffer, received);
    const int64_t tookMs = elapsedMs(t0);
    puller.join();
    EXPECT_EQ(status, SI_READ_ERROR);
    EXPECT_LT(tookMs, 2 * kHangMs);

    // The next exchange fails to write, reconnects, finds no bridge and asks; Cancel ends the run.
    ASSERT_EQ(driver->setTimeouts(kReadTimeoutMs, kWriteTimeoutMs), SI_SUCCESS);
    uint8_t data[4];
    try {
        moduleRead(0x80, 0x1000, 0, data, 4);
        FAIL() << "the run should have ended";
    } catch (const ProcessExit& e) {
        EXPECT_EQ(e.code, -1);
    }
    ASSERT_FALSE(seam.boxes.empty());
    EXPECT_EQ(seam.boxes.back().caption, "USB communication interrupted");
    EXPECT_EQ(seam.boxes.back().text, "No USB devices found or available");
}

}  // namespace
}  // namespace vz
