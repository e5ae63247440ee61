#include "dialogs/gui/output_configuration_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <cstring>

#include "app/core/connection.h"
#include "app/gui/arrow_key_filter.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "base/command_ids.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/usb_link.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::control;

std::string deviz(int channel, const std::string& unom) {
    return R"({"channel": )" + std::to_string(channel) + R"(, "serialNumber": )" +
           std::to_string(300 + channel) +
           R"(, "firmware": {"name": "DEVIZ"}, "system": {"voltageExponent": -10, "currentExponent": -10,
              "maxUnom": "30 V", "maxInom": "10 A"}, "user": {"Unom": ")" +
           unom + R"(", "Inom": "1 A"}})";
}

class OutputConfigurationDialogTest : public test::CrateFixture {
  protected:
    // Channels 1 and 2 on a KRAT crate (QX308 with pid 0010), the main window shown, channel 1 selected.
    void start(const std::string& faults = "", uint32_t flags = 0, const std::string& pid = "0012") {
        useScenario(test::oneBridgeScenario(deviz(1, "5 V") + "," + deviz(2, "7 V"), faults,
                                            R"("cacheChannels": 12, "canTimeoutMs": 1)", pid));
        crateSettings().fCmdLine |= flags;
        crateSettings().searchLimit = 8;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        window = std::make_unique<MainWindow>((crateSettings().fCmdLine & kExpertView) != 0);
        window->show();
        window->channelList()->viewport()->repaint();  // lays out the rows
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // A right click on the channel's row, as the operator opens the dialog.
    OutputConfigurationDialog* openByRightClick(int channel) {
        const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(channel)];
        test::clickThroughWindow(window->channelList()->viewport(), Qt::RightButton,
                                 QPoint(20, q.rowTop + 5));
        return window->outputConfiguration();
    }
    // Clicks into the field, selects its text and types over it.
    void type(OutputConfigurationDialog* d, int id, const QString& text) {
        auto* edit = control<QLineEdit>(d, id);
        ASSERT_NE(edit, nullptr) << id;
        test::clickThroughWindow(edit);
        ASSERT_TRUE(edit->hasFocus()) << id;
        QTest::keyClick(d->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        for (QChar c : text) QTest::keyClick(d->windowHandle(), c.toLatin1());
        ASSERT_EQ(edit->text(), text);
    }
    void press(OutputConfigurationDialog* d, int id) {
        auto* b = control<QAbstractButton>(d, id);
        ASSERT_NE(b, nullptr) << id;
        test::clickThroughWindow(b);
    }
    uint32_t writes() { return crate->controller(0).parameterWrites(); }
    // What the module itself holds.
    template <typename T>
    T moduleField(int channel, std::size_t offset, bool user = true) {
        const auto* m = crate->controller(0).module(channel);
        T value;
        std::memcpy(&value, (user ? m->user() : m->system()).data() + offset, sizeof value);
        return value;
    }
    QString shown(OutputConfigurationDialog* d, int id) { return control<QLineEdit>(d, id)->text(); }

    std::unique_ptr<MainWindow> window;
};

TEST_F(OutputConfigurationDialogTest, RightClickOpensAndOnlyChangedFieldsAreSent) {
    start();
    OutputConfigurationDialog* d = openByRightClick(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), "[SN SN1] U1 Output Configuration");
    EXPECT_EQ(shown(d, 1007), "5.000");
    EXPECT_EQ(shown(d, 1033), "1.000");
    EXPECT_EQ(control<QComboBox>(d, 1063)->itemText(3), "Switch all channels off.");

    const uint32_t before = writes();
    type(d, 1033, "2,5");  // a decimal comma
    press(d, 1);
    EXPECT_EQ(writes(), before + 1);
    EXPECT_EQ(moduleField<int16_t>(1, offsetof(MODULE_USER_CONFIG_DATA, Inom)), 2560);  // 2.5 A at 2^-10
    EXPECT_EQ(shown(d, 1033), "2.500");
    press(d, 1);  // nothing changed: nothing sent
    EXPECT_EQ(writes(), before + 1);
}

TEST_F(OutputConfigurationDialogTest, RegulationBoxesAreCoupled) {
    start();
    OutputConfigurationDialog* d = openByRightClick(1);
    auto* moderate = control<QCheckBox>(d, 1118);
    auto* slow = control<QCheckBox>(d, 1119);
    const auto flags = [&] { return moduleField<uint16_t>(1, offsetof(MODULE_USER_CONFIG_DATA, flags)); };

    press(d, 1119);  // slow regulation implies moderate
    EXPECT_TRUE(slow->isChecked());
    EXPECT_TRUE(moderate->isChecked());
    EXPECT_EQ(flags() & 0x06, 0x06);
    press(d, 1118);  // clearing moderate clears slow
    EXPECT_FALSE(moderate->isChecked());
    EXPECT_FALSE(slow->isChecked());
    EXPECT_EQ(flags() & 0x06, 0);

    press(d, 1126);  // internal sense: cable length no longer matters
    EXPECT_EQ(flags() & 0x08, 0x08);
    EXPECT_FALSE(moderate->isEnabled());
    EXPECT_FALSE(slow->isEnabled());
}

TEST_F(OutputConfigurationDialogTest, OnWithAnOutOfRangeFieldAppliesTheRestAndSwitchesOn) {
    start();
    OutputConfigurationDialog* d = openByRightClick(1);
    type(d, 1070, "40");
    type(d, 1007, "3");
    recorder->writes.clear();
    press(d, 4);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, "Value 40.000000 is too large (maximum is 31.999023)");
    EXPECT_EQ(moduleField<int16_t>(1, offsetof(MODULE_USER_CONFIG_DATA, Unom)), 3072);
    const auto frames = sentFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(std::vector<uint8_t>(frames.back().begin(), frames.back().begin() + 4),
              (std::vector<uint8_t>{0x81, 0x31, 0x01, 0x00}));  // switch word 1 to channel 1, last
    EXPECT_NE(shown(d, 1070), "40");                            // the refresh shows the value held
}

TEST_F(OutputConfigurationDialogTest, SystemMaximaOnlyInTheExpertView) {
    for (const bool expert : {false, true}) {
        SCOPED_TRACE(expert);
        TearDown();
        SetUp();
        start("", expert ? uint32_t{kExpertView} : 0u);
        OutputConfigurationDialog* d = openByRightClick(1);
        for (int id : {1008, 1034, 1077, 1081, 1075, 1079, 1080})
            EXPECT_EQ(control<QLineEdit>(d, id)->isReadOnly(), !expert) << id;
        // A read-only field cannot be typed into; its text is put there to prove apply skips it.
        control<QLineEdit>(d, 1008)->setText("20");
        control<QLineEdit>(d, 1080)->setText("77");
        type(d, 1021, "5");
        const uint32_t before = writes();
        press(d, 1);
        EXPECT_EQ(writes(), before + (expert ? 3 : 1));
        EXPECT_EQ(moduleField<int16_t>(1, offsetof(MODULE_SYSTEM_CONFIG_DATA, maxUnom), false),
                  expert ? 20480 : 30720);
        EXPECT_EQ(moduleField<uint16_t>(1, offsetof(MODULE_USER_CONFIG_DATA, idGroup)), 5);
        window.reset();
    }
}

TEST_F(OutputConfigurationDialogTest, RefusedValueLeavesModuleAndDialogAtTheOldValue) {
    start(R"({"kind": "refuse", "channel": 1, "field": "user.Inom", "code": 5, "count": 1})");
    OutputConfigurationDialog* d = openByRightClick(1);
    type(d, 1033, "3");
    press(d, 1);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "MODULE_USER_CONFIG::Inom: Error Code 0x5");
    EXPECT_EQ(moduleField<int16_t>(1, offsetof(MODULE_USER_CONFIG_DATA, Inom)), 1024);
    EXPECT_EQ(shown(d, 1033), "1.000");
}

TEST_F(OutputConfigurationDialogTest, FollowsTheSelectionAndKeepsTypingOnRepaints) {
    start();
    OutputConfigurationDialog* d = openByRightClick(1);
    type(d, 1033, "4");
    // New measurements: the status area changes, the typed text stays.
    channelState().channelTable.channels[1].measure().status = 1;  // as the polling tick reads it: on
    window->channelList()->refresh();
    QApplication::processEvents();
    EXPECT_EQ(control<QLineEdit>(d, 1086)->text(), "ON");
    EXPECT_EQ(shown(d, 1033), "4");

    // A right click on channel 2 selects it; the open dialog follows, the unapplied typing is dropped.
    EXPECT_EQ(openByRightClick(2), d);
    QApplication::processEvents();
    EXPECT_EQ(channelState().selectedChannel, 2);
    EXPECT_EQ(d->windowTitle(), "[SN SN1] U2 Output Configuration");
    EXPECT_EQ(shown(d, 1007), "7.000");
    EXPECT_EQ(shown(d, 1033), "1.000");

    // The menu command closes it, and opens it again.
    QMenuBar* bar = window->menuBar();
    QAction* item = window->menuAction(cmd::kOutputConfiguration);
    test::clickThroughWindow(bar, Qt::LeftButton, bar->actionGeometry(item).center());
    QApplication::processEvents();
    EXPECT_EQ(window->outputConfiguration(), nullptr);
    test::clickThroughWindow(bar, Qt::LeftButton, bar->actionGeometry(item).center());
    ASSERT_NE(window->outputConfiguration(), nullptr);
    EXPECT_EQ(window->outputConfiguration()->windowTitle(), "[SN SN1] U2 Output Configuration");
    press(window->outputConfiguration(), 2);  // CANCEL
    QApplication::processEvents();
    EXPECT_EQ(window->outputConfiguration(), nullptr);
}

TEST_F(OutputConfigurationDialogTest, WdxChannelsEditTheirScalingAndSupervisionMaxima) {
    useScenario(R"({"bridges": [{"serial": "SN1", "vid": "1A2B", "pid": "0011"}],
        "controller": {"type": 17, "lineRate": false, "cacheChannels": 12, "canTimeoutMs": 1},
        "modules": [{"channel": 1, "serialNumber": 301, "firmware": {"name": "DEVIZ"},
                     "system": {"voltageExponent": -10, "currentExponent": -10},
                     "user": {"ugain": 1.2, "igain": 3.0}}]})");
    crateSettings().searchLimit = 8;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    window = std::make_unique<MainWindow>(false);
    window->show();
    window->channelList()->viewport()->repaint();
    OutputConfigurationDialog* d = openByRightClick(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(control<QLineEdit>(d, 1007), nullptr);  // the PELIQUE form: no nominal values
    EXPECT_EQ(shown(d, 1031), "1.200");
    for (int id : {1075, 1079, 1080}) EXPECT_FALSE(control<QLineEdit>(d, id)->isReadOnly()) << id;

    type(d, 1031, "1,5");
    type(d, 1080, "90");
    const uint32_t before = writes();
    press(d, 1);
    EXPECT_EQ(writes(), before + 2);
    EXPECT_EQ(moduleField<float>(1, MODULE_USER_CONFIG_DATA::kUgainOffset), 1.5f);
    EXPECT_EQ(moduleField<uint16_t>(1, offsetof(MODULE_SYSTEM_CONFIG_DATA, maxPower), false), 90);
}

// Without -ac a slave module is not listed: the arrow keys pass over it, so the open dialog never
// names a channel the list does not show. With -ac it is listed and reached.
TEST_F(OutputConfigurationDialogTest, ArrowKeysPassOverAHiddenSlave) {
    for (const bool expert : {false, true}) {
        SCOPED_TRACE(expert);
        TearDown();
        SetUp();
        std::string slave = deviz(2, "7 V");
        slave.replace(slave.find(R"("voltageExponent")"), 0, R"("flags": ["isSlave"], )");
        useScenario(test::oneBridgeScenario(deviz(1, "5 V") + "," + slave + "," + deviz(3, "9 V"), "",
                                            R"("cacheChannels": 12, "canTimeoutMs": 1)"));
        crateSettings().fCmdLine |= expert ? uint32_t{kExpertView} : 0u;
        crateSettings().searchLimit = 8;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        window = std::make_unique<MainWindow>(expert);
        window->show();
        window->channelList()->viewport()->repaint();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        OutputConfigurationDialog* d = openByRightClick(1);
        ASSERT_NE(d, nullptr);
        ArrowKeyFilter arrows([&] { window->channelSelected(); });  // as the program installs it
        qApp->installEventFilter(&arrows);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, test::kHangMs));
        test::keyThroughWindow(window.get(), Qt::Key_Right);
        const int next = expert ? 2 : 3;
        EXPECT_EQ(channelState().selectedChannel, next);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return d->windowTitle() == QString("[SN SN1] U%1 Output Configuration").arg(next); },
            test::kHangMs))
            << d->windowTitle().toStdString();
        test::keyThroughWindow(window.get(), Qt::Key_Left);
        EXPECT_EQ(channelState().selectedChannel, 1);
        window.reset();
    }
}

// A value shown with fewer decimals than a raw step needs does not parse back to the raw value it came
// from (Unom 20481 shows as 20480's text at some exponents, a maximum of 32767 steps as a value above
// the range). OK and ON on a dialog nobody typed into send nothing but the switch command, and show no
// box, at every exponent and on the WDX form with its scaling floats.
TEST_F(OutputConfigurationDialogTest, OkAndOnOnAnUntouchedDialogSendNothingAtAnyExponent) {
    struct Case {
        std::string scenario;
        int exponent;
    };
    std::vector<Case> cases;
    for (int e : {-7, -9, -10, -11, -12, -13, -14}) {
        const std::string ex = std::to_string(e);
        // Maxima left at the crate's default of 32767 steps; user values that do not round-trip.
        cases.push_back({test::oneBridgeScenario(
                             R"({"channel": 1, "serialNumber": 301, "firmware": {"name": "DEVIZ"},
                                 "system": {"voltageExponent": )" +
                                 ex + R"(, "currentExponent": )" + ex + R"(},
                                 "user": {"Unom": 20481, "Inom": 16383, "minUSense": 12345, "maxCurrent": 30001}})",
                             "", R"("cacheChannels": 12, "canTimeoutMs": 1)"),
                         e});
    }
    cases.push_back({R"({"bridges": [{"serial": "SN1", "vid": "1A2B", "pid": "0011"}],
        "controller": {"type": 17, "lineRate": false, "cacheChannels": 12, "canTimeoutMs": 1},
        "modules": [{"channel": 1, "serialNumber": 301, "firmware": {"name": "DEVIZ"},
                     "system": {"voltageExponent": -10, "currentExponent": -10},
                     "user": {"ugain": 1.23456, "igain": 3.14159}}]})",
                     -10});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario.substr(0, 400));
        TearDown();
        SetUp();
        useScenario(c.scenario);
        crateSettings().fCmdLine |= kExpertView;
        crateSettings().searchLimit = 8;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        window = std::make_unique<MainWindow>(true);
        window->show();
        window->channelList()->viewport()->repaint();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        OutputConfigurationDialog* d = openByRightClick(1);
        ASSERT_NE(d, nullptr);
        const vsim::Module& m = *crate->controller(0).module(1);
        const auto user = m.user();
        const auto system = m.system();
        const uint32_t before = writes();
        press(d, 1);  // OK
        press(d, 4);  // ON
        EXPECT_TRUE(seam.boxes.empty()) << seam.boxes.front().text;
        EXPECT_EQ(writes(), before);
        EXPECT_TRUE(m.user() == user) << "the user record changed";
        EXPECT_TRUE(m.system() == system) << "the system record changed";
        EXPECT_TRUE(QTest::qWaitFor([&] { return crate->controller(0).module(1)->trueReadings().status & 1; },
                                    test::kHangMs))
            << "ON still switches the output on";
        window.reset();
    }
}

}  // namespace
}  // namespace vz
