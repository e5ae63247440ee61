// The controller configuration dialog and the measurement window, driven with real input against the
// virtual crate.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/core/connection.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "base/command_ids.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/controller_config.h"
#include "dialogs/gui/controller_configuration_dialog.h"
#include "dialogs/gui/dvm_window.h"
#include "dialogs/gui/jova_io_test_dialog.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::control;

class ControllerDialogsTest : public test::CrateFixture {
  protected:
    // A KRAT crate whose configuration record has the given Ethernet and option flags.
    void start(int ethernetFlags, int optionFlags, uint32_t flags = 0) {
        useScenario(test::oneBridgeScenario(
            R"({"channel": 1, "serialNumber": 301, "firmware": {"name": "DEVIZ"}, "user": {"Unom": "5 V"}})",
            "",
            R"("canTimeoutMs": 1, "config": {"ip": "192.168.10.20", "ethernetFlags": )" +
                std::to_string(ethernetFlags) + R"(, "optionFlags": )" + std::to_string(optionFlags) + "}"));
        crateSettings().fCmdLine |= flags | kSkipSlip;
        crateSettings().searchLimit = 4;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        window = std::make_unique<MainWindow>((crateSettings().fCmdLine & kExpertView) != 0);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    ControllerConfigurationDialog* open() {
        window->dispatchCommand(cmd::kSystemConfiguration);
        ControllerConfigurationDialog* d = window->controllerConfiguration();
        if (d) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(d));
        }
        return d;
    }
    ControllerConfig written() {
        ControllerConfig c;
        EXPECT_TRUE(readControllerConfig(c));
        return c;
    }
    void TearDown() override {
        window.reset();
        CrateFixture::TearDown();
    }
    std::unique_ptr<MainWindow> window;
};

TEST_F(ControllerDialogsTest, AutoNegotiationDisablesSpeedAndDuplexAndOkClearsThem) {
    start(ethernet::kSpeed100M | ethernet::kFullDuplex, 0);
    ControllerConfigurationDialog* d = open();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "[SN SN1] Configuration");
    EXPECT_EQ(control<QLineEdit>(d, 1091)->text(), "192.168.10.20");
    auto* speed = control<QCheckBox>(d, 1095);
    auto* duplex = control<QCheckBox>(d, 1096);
    ASSERT_TRUE(speed->isEnabled() && speed->isChecked() && duplex->isChecked());
    test::clickThroughWindow(control<QCheckBox>(d, 1094));
    EXPECT_FALSE(speed->isEnabled());  // at once, before OK
    EXPECT_FALSE(duplex->isEnabled());
    test::clickThroughWindow(control<QPushButton>(d, 1));
    QApplication::processEvents();
    EXPECT_EQ(window->controllerConfiguration(), nullptr);
    EXPECT_EQ(written().ethernetFlags(), ethernet::kAutoNegotiation);
}

TEST_F(ControllerDialogsTest, FastPowerFailClearsIgnoreIoInputAndBootpIsKept) {
    start(ethernet::kBootpDisable, option::kIgnoreIoInputForPf, kExpertView);
    ControllerConfigurationDialog* d = open();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(control<QCheckBox>(d, 1097)->isChecked());  // BOOTP disabled, as read
    auto* fastPf = control<QCheckBox>(d, 1089);
    ASSERT_TRUE(fastPf->isEnabled());  // only with -ac
    test::clickThroughWindow(fastPf);
    ASSERT_TRUE(fastPf->isChecked());
    test::clickThroughWindow(control<QPushButton>(d, 1));
    QApplication::processEvents();
    const ControllerConfig c = written();
    EXPECT_EQ(c.optionFlags(), option::kFastPfDetection);
    EXPECT_EQ(c.ethernetFlags(), ethernet::kBootpDisable);
}

TEST_F(ControllerDialogsTest, CancelWritesNothingAndExpertFieldsNeedMinusAc) {
    start(0, 0);
    ControllerConfigurationDialog* d = open();
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(control<QCheckBox>(d, 1089)->isEnabled());
    EXPECT_FALSE(control<QLineEdit>(d, 1049)->isEnabled());
    EXPECT_TRUE(control<QCheckBox>(d, 1105)->isEnabled());  // KRAT
    auto* ip = control<QLineEdit>(d, 1091);
    ip->setFocus();
    ip->selectAll();
    QTest::keyClicks(ip, "10.0.0.7");
    test::keyThroughWindow(d, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(window->controllerConfiguration(), nullptr);
    EXPECT_EQ(written().ipAddress(), 0xC0A80A14u);  // still 192.168.10.20
}

TEST_F(ControllerDialogsTest, DvmShowsTheSelectedChannelAndItsMenuCommandToggles) {
    start(0, 0);
    channelState().selectedChannel = 1;
    window->dispatchCommand(cmd::kDvm);
    DvmWindow* dvm = window->dvmWindow();
    ASSERT_NE(dvm, nullptr);
    EXPECT_EQ(dvm->windowTitle(), "[SN SN1] U1 Output");
    EXPECT_FALSE(control<QLineEdit>(dvm, 1088)->text().isEmpty());
    window->dispatchCommand(cmd::kDvm);
    QApplication::processEvents();
    EXPECT_EQ(window->dvmWindow(), nullptr);
}

}  // namespace
}  // namespace vz

namespace vz {
namespace {

class JovaIoTestDialogTest : public test::CrateFixture {};

// On a QX308 the output configuration command opens the I/O test for a JOVA board; with -ac its
// tests write the board's block, and CANCEL switches the test off.
TEST_F(JovaIoTestDialogTest, OutputTestWalksTheLatchAndCancelSwitchesTheTestOff) {
    useScenario(R"({"bridges": [{"serial": "SN1", "vid": "1A2B", "pid": "0010"}],
                    "controller": {"type": 16, "cacheChannels": 12, "lineRate": false, "canTimeoutMs": 1},
                    "modules": [{"channel": 2, "serialNumber": 302, "firmware": {"name": "BOLAN JOVA"}}]})");
    crateSettings().fCmdLine |= kSkipSlip | kExpertView;
    crateSettings().searchLimit = 4;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    MainWindow window(true);
    window.show();
    channelState().selectedChannel = 2;
    window.dispatchCommand(cmd::kOutputConfiguration);
    JovaIoTestDialog* d = window.jovaIoTest();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
    EXPECT_EQ(window.outputConfiguration(), nullptr);
    EXPECT_EQ(d->windowTitle(), "JOVA I/O Test");
    auto* outputTest = control<QPushButton>(d, 1171);
    ASSERT_NE(outputTest, nullptr);
    test::clickThroughWindow(outputTest);
    EXPECT_EQ(d->logic().record().latchMask, 1u);
    test::clickThroughWindow(outputTest);
    EXPECT_EQ(d->logic().record().latchMask, 2u);
    EXPECT_EQ(d->logic().record().pinState, 2u);  // the driven pin shows its latch
    EXPECT_TRUE(control<QCheckBox>(d, 2048 + 8 * 1 + 1)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(d, 2048 + 8 * 1 + 0)->isEnabled());  // under test: its latch can be set
    const vsim::Module* board = crate->controller().module(2);
    ASSERT_NE(board, nullptr);
    ASSERT_NE(board->jova(), nullptr);
    EXPECT_EQ(board->jova()->extMask(), 0x3FFFFu);
    test::clickThroughWindow(control<QPushButton>(d, 2));
    QApplication::processEvents();
    EXPECT_EQ(window.jovaIoTest(), nullptr);
    EXPECT_EQ(board->jova()->extMask(), 0u);
}

}  // namespace
}  // namespace vz
