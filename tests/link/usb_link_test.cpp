#include "link/usb_link.h"

#include <gtest/gtest.h>

#include "base/settings.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::CrateFixture;
using test::oneBridgeScenario;
using test::ProcessExit;

std::string bridges(const std::string& list) {
    return R"({"controller": {"type": 18, "lineRate": false}, "bridges": [)" + list + "]}";
}
std::string bridge(const std::string& serial, const std::string& pid, bool busy = false,
                   const std::string& vid = "1A2B") {
    return R"({"serial": ")" + serial + R"(", "description": "Crate )" + serial + R"(", "vid": ")" + vid +
           R"(", "pid": ")" + pid + R"(", "busy": )" + (busy ? "true" : "false") + "}";
}

class UsbLinkTest : public CrateFixture {};

TEST_F(UsbLinkTest, OneFreeDeviceOpensWithoutDialogAndIsConfigured) {
    useScenario(oneBridgeScenario("", "", "", "0011"));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    EXPECT_TRUE(seam.deviceDialogs.empty());
    EXPECT_TRUE(seam.boxes.empty());
    EXPECT_EQ(crateSettings().controllerType, 17);
    EXPECT_EQ(linkState().usbInfo.serial, "SN1");
    EXPECT_EQ(recorder->baud, 115200u);
    EXPECT_EQ(recorder->lineControl, 0x0810);
    EXPECT_EQ(recorder->readTimeout, 333u);
    EXPECT_EQ(recorder->writeTimeout, 333u);
    EXPECT_EQ(recorder->rtsMode, 0);
    EXPECT_EQ(recorder->dtrMode, 0);
    EXPECT_EQ(linkState().usbInfo.dllVersion[0], 0x00010000u);
}

TEST_F(UsbLinkTest, BusyDeviceIsListedAsInUse) {
    useScenario(bridges(bridge("FREE", "0012") + "," + bridge("HELD", "0010", true)));
    seam.deviceChoice = 0;
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    ASSERT_EQ(seam.deviceDialogs.size(), 1u);
    const auto& list = seam.deviceDialogs[0];
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[0].available);
    EXPECT_EQ(list[0].serial, "FREE");
    EXPECT_FALSE(list[1].available);
    EXPECT_EQ(list[1].serial, "HELD");
    EXPECT_EQ(linkState().usbInfo.serial, "FREE");
    EXPECT_EQ(crateSettings().controllerType, 18);
}

TEST_F(UsbLinkTest, OnlyTheFirstFourDevicesAreExamined) {
    std::string list;
    for (int i = 0; i < 5; ++i) list += (i ? "," : "") + bridge("B" + std::to_string(i), "0012");
    useScenario(bridges(list));
    seam.deviceChoice = 3;
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    for (uint32_t index : recorder->stringQueries) EXPECT_LT(index, 4u);
    EXPECT_EQ(seam.deviceDialogs.at(0).size(), 4u);
    EXPECT_EQ(linkState().usbInfo.serial, "B3");
}

TEST_F(UsbLinkTest, IdsAreComparedWithoutRegardToCaseAndUnknownOnesAreNotOffered) {
    useScenario(bridges(bridge("ODD", "0013") + "," + bridge("LOW", "0016", false, "1a2b")));
    seam.deviceChoice = 1;
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "PrintBox");
    EXPECT_EQ(seam.boxes[0].text,
              "Unknown USB device: VID \"1A2B\", PID \"0013\" (\"Crate ODD\", Serial Number ODD)");
    ASSERT_EQ(seam.deviceDialogs.at(0).size(), 1u);
    EXPECT_EQ(seam.deviceDialogs[0][0].serial, "LOW");
    EXPECT_EQ(crateSettings().controllerType, 22);
}

TEST_F(UsbLinkTest, NoDeviceAsksRetryOrCancel) {
    useScenario(bridges(bridge("HELD", "0012", true)));
    seam.answers = {BoxAnswer::Retry, BoxAnswer::Cancel};
    try {
        usbOpen(linkState().usbInfo);
        FAIL() << "the process should have ended";
    } catch (const ProcessExit& e) {
        EXPECT_EQ(e.code, -1);
    }
    ASSERT_EQ(seam.boxes.size(), 2u);
    EXPECT_EQ(seam.boxes[0].caption, "USB communication interrupted");
    EXPECT_EQ(seam.boxes[0].text, "No USB devices found or available");
    EXPECT_EQ(seam.boxes[0].buttons, BoxButtons::RetryCancel);
}

TEST_F(UsbLinkTest, CancelledSelectionEndsTheProcess) {
    useScenario(bridges(bridge("A", "0012") + "," + bridge("B", "0012")));
    seam.deviceChoice = -1;
    EXPECT_THROW(usbOpen(linkState().usbInfo), ProcessExit);
}

TEST_F(UsbLinkTest, FailedWriteReconnectsAndSendsTheWholeRequestAgain) {
    useScenario(
        oneBridgeScenario(R"({"channel": 0, "serialNumber": 7})", R"({"kind": "writeFail", "count": 1})"));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    bindDirectOperations();
    const size_t opensBefore = recorder->opened.size();
    uint8_t data[4];
    EXPECT_EQ(moduleRead(0x80, 0x1000, 0, data, 4), 4);
    ASSERT_EQ(recorder->writes.size(), 2u);
    EXPECT_NE(recorder->writes[0].status, SI_SUCCESS);
    EXPECT_EQ(recorder->writes[1].status, SI_SUCCESS);
    EXPECT_EQ(recorder->writes[0].bytes, recorder->writes[1].bytes);
    EXPECT_GT(recorder->opened.size(), opensBefore);  // enumerated and opened again
    EXPECT_EQ(data[0], 7);
}

TEST_F(UsbLinkTest, ReconnectWithoutDeviceAsksRetryOrCancel) {
    useScenario(oneBridgeScenario(R"({"channel": 0, "serialNumber": 7})"));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    bindDirectOperations();
    crate->unplug("SN1");
    const uint8_t word[2] = {1, 0};
    EXPECT_THROW(writeShort(0, 3, word, 2), ProcessExit);
    ASSERT_FALSE(seam.boxes.empty());
    EXPECT_EQ(seam.boxes.back().caption, "USB communication interrupted");
}

TEST_F(UsbLinkTest, StatusNames) {
    EXPECT_EQ(siStatusName(0xFF), "SI_DEVICE_NOT_FOUND");
    EXPECT_EQ(siStatusName(0), "SI_DEVICE_NOT_FOUND");
    EXPECT_EQ(siStatusName(0x0D), "SI_READ_TIMED_OUT");
    EXPECT_EQ(siStatusName(0x0F), "SI_IO_PENDING");
    EXPECT_EQ(siStatusName(0x10), "0x10");
}

}  // namespace
}  // namespace vz
