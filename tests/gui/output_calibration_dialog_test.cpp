// The output calibration dialog on a virtual crate, driven as an operator drives it: the menu, clicks
// and typing through the window. The calibration run at the end uses a module whose readings are off
// by a known analogue error and checks them against the crate's multimeter afterwards.
#include "dialogs/gui/output_calibration_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstring>

#include "app/core/connection.h"
#include "app/core/polling.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "base/command_ids.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/composite_setters.h"
#include "channel/measurement_block.h"
#include "dialogs/gui/output_configuration_dialog.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::control;

constexpr double kStep = 1.0 / 2048;  // one raw step at exponent -11

std::string deviz(int channel, uint32_t serial,
                  const std::string& user = R"({"idGroup": 1, "Unom": "5 V", "Inom": "1 A"})") {
    return R"({"channel": )" + std::to_string(channel) + R"(, "serialNumber": )" + std::to_string(serial) +
           R"(, "firmware": {"name": "DEVIZ"}, "system": {"voltageExponent": -11, "currentExponent": -11,
              "maxUnom": "15 V", "maxInom": "10 A"}, "user": )" +
           user + "}";
}

// 3 % gain error and 40 mV (40 mA) offset on every measurement path; the set points off as well.
const char* kMiscalibrated = R"({"channel": 1, "serialNumber": 11, "on": true, "cableOhms": 0.01,
  "firmware": {"name": "DEVIZ"},
  "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
  "user": {"idGroup": 1, "Unom": "5 V", "Inom": "10 A"},
  "analogError": {"uSense": {"gain": 1.03, "offset": "40 mV"}, "uTerminal": {"gain": 1.03, "offset": "40 mV"},
    "current": {"gain": 1.03, "offset": "40 mA"}, "uSet": {"gain": 0.98, "offset": "-25 mV"},
    "uInternal": {"gain": 1.02, "offset": "15 mV"}, "iSet": {"gain": 0.97, "offset": "20 mA"}}})";

class OutputCalibrationDialogTest : public test::CrateFixture {
  protected:
    // pid 0012: KRAT, 0011: WDX, 0010: QX308.
    void start(const std::string& modules, uint32_t flags, const std::string& pid = "0012",
               const std::string& faults = "") {
        const char* type = pid == "0010" ? "16" : pid == "0011" ? "17" : "18";
        useScenario(R"({"bridges": [{"serial": "SN1", "vid": "1A2B", "pid": ")" + pid +
                    R"("}], "controller": {"type": )" + type +
                    R"(, "lineRate": false, "cacheChannels": 12, "canTimeoutMs": 1}, "modules": [)" +
                    modules + R"(], "faults": [)" + faults + "]}");
        crateSettings().fCmdLine |= flags;
        crateSettings().searchLimit = 10;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        programCalibrationMemory() = {};
        window = std::make_unique<MainWindow>((crateSettings().fCmdLine & kExpertView) != 0);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->channelList()->refresh();  // lays out the rows
    }
    // A right click selects the channel; the menu item then opens the dialog for it.
    OutputCalibrationDialog* open(int channel) {
        const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(channel)];
        test::clickThroughWindow(window->channelList()->viewport(), Qt::RightButton,
                                 QPoint(20, q.rowTop + 5));
        delete window->outputConfiguration();  // the right click opened it; this test wants the other one
        EXPECT_EQ(channelState().selectedChannel, channel);
        QAction* item = window->menuAction(cmd::kOutputCalibration);
        EXPECT_NE(item, nullptr);
        if (!item) return nullptr;
        test::clickThroughWindow(window->menuBar(), Qt::LeftButton,
                                 window->menuBar()->actionGeometry(item).center());
        QApplication::processEvents();
        return window->outputCalibration();
    }
    void type(QWidget* d, int id, const QString& text) {
        auto* edit = control<QLineEdit>(d, id);
        ASSERT_NE(edit, nullptr) << id;
        d->activateWindow();  // the window manager's part when the operator clicks into another window
        test::clickThroughWindow(edit);
        ASSERT_TRUE(edit->hasFocus()) << id;
        QTest::keyClick(d->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        for (QChar c : text) QTest::keyClick(d->windowHandle(), c.toLatin1());
        ASSERT_EQ(edit->text(), text);
    }
    void press(QWidget* d, int id) {
        auto* b = control<QAbstractButton>(d, id);
        ASSERT_NE(b, nullptr) << id;
        ASSERT_TRUE(b->isVisible()) << id;
        test::clickThroughWindow(b);
    }
    uint32_t writes() { return crate->controller(0).parameterWrites(); }
    vsim::Module& module(int channel) { return *crate->controller(0).module(channel); }
    uint32_t moduleSerial(int channel) {
        uint32_t serial;
        std::memcpy(&serial, module(channel).system().data(), sizeof serial);
        return serial;
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(OutputCalibrationDialogTest, WithoutTheExpertViewEverythingIsReadOnlyAndOnlyCancelWorks) {
    start(deviz(1, 301), 0);
    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
    EXPECT_EQ(d->windowTitle(), "[SN SN1] U1 Output Calibration (read only)");
    for (QLineEdit* e : d->findChildren<QLineEdit*>())
        EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
    EXPECT_EQ(control<QLineEdit>(d, 1080)->text(), "-11");
    EXPECT_EQ(control<QLineEdit>(d, 1074)->text(), "32768");

    const uint32_t before = writes();
    auto* bias = control<QCheckBox>(d, 1116);
    test::clickThroughWindow(bias);
    EXPECT_FALSE(bias->isChecked());
    press(d, 1);
    press(d, 1133);  // Calibrate U: no wizard either
    EXPECT_FALSE(control<QPlainTextEdit>(d, 1135)->isVisible());
    EXPECT_EQ(writes(), before);

    test::keyThroughWindow(d, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(window->outputCalibration(), nullptr);
}

TEST_F(OutputCalibrationDialogTest, TemplateFollowsTheControllerType) {
    struct Case {
        const char* pid;
        std::string modules;
        int channel;
        int present, absent;  // a control only the expected template has, and one it lacks
    };
    const std::string jova = R"(, {"channel": 2, "serialNumber": 302, "firmware": {"name": "BOLAN JOVA"}})";
    const Case cases[] = {
        {"0012", deviz(1, 301), 1, 1084, 1128},                       // KRAT: 132
        {"0010", deviz(1, 301), 1, 1084, 1128},                       // QX308: 132
        {"0011", deviz(1, 301, R"({"idGroup": 1})"), 1, 1128, 1084},  // WDX: 140
        {"0010", deviz(1, 301) + jova, 2, 0, 0},                      // a JOVA board on a QX308: none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pid) + " U" + std::to_string(c.channel));
        TearDown();
        SetUp();
        start(c.modules, kExpertView, c.pid);
        OutputCalibrationDialog* d = open(c.channel);
        if (!c.present) {
            EXPECT_EQ(d, nullptr);
        } else {
            ASSERT_NE(d, nullptr);
            EXPECT_NE(test::control<QWidget>(d, c.present), nullptr);
            EXPECT_EQ(test::control<QWidget>(d, c.absent), nullptr);
            EXPECT_EQ(d->windowTitle(), "[SN SN1] U1 Output Calibration");
        }
        window.reset();
    }
}

TEST_F(OutputCalibrationDialogTest, ModuleSerialAndModuleIdAreWrittenAsTyped) {
    start(deviz(1, 301) + "," + deviz(2, 302) + "," + deviz(7, 5300007), kExpertView);
    OutputCalibrationDialog* d = open(7);
    ASSERT_NE(d, nullptr);
    // A serial of 5300000 or more carries the module id in its low byte.
    EXPECT_EQ(control<QLineEdit>(d, 1077)->text(), "5300007");
    EXPECT_EQ(control<QLineEdit>(d, 1085)->text(), "20703");
    type(d, 1085, "1234");
    press(d, 1);
    EXPECT_EQ(moduleSerial(7), 1234u * 256 + 7);
    EXPECT_EQ(control<QLineEdit>(d, 1077)->text(), "315911");

    // The open dialog follows the selection. An id in use is refused with the module's serial number.
    test::clickThroughWindow(window->channelList()->viewport(), Qt::RightButton,
                             QPoint(20, channelState().channelTable.channels[2].rowTop + 5));
    QApplication::processEvents();
    EXPECT_EQ(d->windowTitle(), "[SN SN1] U2 Output Calibration");
    type(d, 1082, "1");
    press(d, 1);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, "Module ID 1 is already used by module with serial number 301");
    EXPECT_EQ(control<QLineEdit>(d, 1082)->text(), "2");

    // A free id: the module answers there, the channel moves, the dialog and the selection follow.
    type(d, 1082, "9");
    press(d, 1);
    EXPECT_EQ(channelState().selectedChannel, 9);
    EXPECT_EQ(d->windowTitle(), "[SN SN1] U9 Output Calibration");
    EXPECT_EQ(module(9).serialNumber(), 302u);
    EXPECT_FALSE(channelPresent(2));
    EXPECT_TRUE(channelPresent(9));
    EXPECT_EQ(channelState().channelTable.channels[9].moduleAddress, 9);
    EXPECT_EQ(control<QLineEdit>(d, 1082)->text(), "9");
}

// The module does not take the new id: the operator is told as for the other refusals, and the
// channel stays where it was.
TEST_F(OutputCalibrationDialogTest, ARefusedModuleIdIsShownAndTheChannelStays) {
    start(deviz(1, 301), kExpertView, "0012", R"({"kind": "moduleError", "operation": "assign"})");
    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    type(d, 1082, "9");
    press(d, 1);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text,
              "Module ID 9 was not taken by the module with serial number 301; it stays at U1");
    EXPECT_EQ(channelState().selectedChannel, 1);
    EXPECT_TRUE(channelPresent(1));
    EXPECT_FALSE(channelPresent(9));
    EXPECT_EQ(control<QLineEdit>(d, 1082)->text(), "1");
}

// The module refuses the new sense gain: the operator is told, the offset (taken) and the old gain show.
TEST_F(OutputCalibrationDialogTest, ARefusedGainIsReportedAndTheDialogShowsWhatTheModuleHolds) {
    start(deviz(1, 301), kExpertView, "0012",
          R"({"kind": "refuse", "channel": 1, "field": "system.calUSenGain", "code": 5})");
    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    // Two points by hand: 1 V read as 0.98 V, 9 V as 8.82 V.
    CalibrationValues& v = programCalibrationMemory().values;
    v.low[0] = {1.0, 0.98};
    v.high[0] = {9.0, 8.82};
    press(d, 1113);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].caption, "MODULE_SYSTEM_CONFIG::calUSenGain: Error Code 0x5");
    EXPECT_EQ(control<QLineEdit>(d, 1074)->text(), "32768");
    EXPECT_EQ(control<QLineEdit>(d, 1053)->text(), "0.0000");
}

// A pair beyond 16 bits is written clamped, as the field allows, and the operator is told that the
// module does not agree with the meter afterwards.
TEST_F(OutputCalibrationDialogTest, AClampedPairIsWrittenAndShownAsSuch) {
    start(deviz(1, 301), kExpertView);
    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    // 0 V read as 0 V, 10 V read as 1 V: the gain would be ten times 32768.
    CalibrationValues& v = programCalibrationMemory().values;
    v.low[0] = {0.0, 0.0};
    v.high[0] = {10.0, 1.0};
    press(d, 1113);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text,
              "USense: the computed pair does not fit 16 bits; written clamped as gain 65535, offset 0");
    uint16_t gain;
    std::memcpy(&gain, module(1).system().data() + offsetof(MODULE_SYSTEM_CONFIG_DATA, calUSenGain), 2);
    EXPECT_EQ(gain, 65535);
    EXPECT_EQ(control<QLineEdit>(d, 1074)->text(), "65535");
}

// Offsets shown with the exponent's decimals, the PWM offset with three: texts that need not parse back
// to the raw values they came from. OK on a dialog nobody typed into sends nothing and shows no box.
TEST_F(OutputCalibrationDialogTest, OkOnAnUntouchedDialogSendsNothingAtAnyExponent) {
    for (int e : {-7, -9, -10, -11, -12, -13, -14}) {
        SCOPED_TRACE(e);
        TearDown();
        SetUp();
        const std::string ex = std::to_string(e);
        start(R"({"channel": 1, "serialNumber": 301, "firmware": {"name": "DEVIZ"},
                  "system": {"voltageExponent": )" +
                  ex + R"(, "currentExponent": )" + ex + R"(,
                  "pwmOffset": 32767, "calUSenOffset": -32768, "calUIntOffset": 20481, "calISetOffset": 16383}})",
              kExpertView);
        OutputCalibrationDialog* d = open(1);
        ASSERT_NE(d, nullptr);
        const auto system = module(1).system();
        const auto user = module(1).user();
        const uint32_t before = writes();
        press(d, 1);
        EXPECT_TRUE(seam.boxes.empty()) << seam.boxes.front().text;
        EXPECT_EQ(writes(), before);
        EXPECT_TRUE(module(1).system() == system);
        EXPECT_TRUE(module(1).user() == user);
        window.reset();
    }
}

class CalibrationRunTest : public OutputCalibrationDialogTest {
  protected:
    // What the list's repaints give the dialog before the operator presses OK: the output settles,
    // ten polling ticks feed the averages.
    void repaints() {
        clock_.advanceUs(3'000'000);
        for (int i = 0; i < 10; ++i) {
            pollingTick();
            window->channelList()->refresh();
            QApplication::processEvents();
        }
    }
    // The operator reads the multimeter into the field the wizard focused, then presses Enter.
    void runWizard(OutputCalibrationDialog* d) {
        for (int guard = 0; d->logic().wizard().running() && guard < 5; ++guard) {
            repaints();
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            const int id = focus->property("controlId").toInt();
            const vsim::OutputReadings truth = module(1).trueReadings();
            const bool current = id == 1062 || id == 1063;
            ASSERT_TRUE(id == 1054 || id == 1056 || current) << id;
            const QString reading = QString::number(current ? truth.current : truth.uSense, 'f', 6);
            for (QChar c : reading)
                QTest::keyClick(d->windowHandle(), c.toLatin1());  // over the selected text
            ASSERT_EQ(control<QLineEdit>(d, id)->text(), reading);
            test::keyThroughWindow(d, Qt::Key_Return);
            QApplication::processEvents();
        }
        EXPECT_FALSE(d->logic().wizard().running());
    }
    // Largest difference, in raw steps, between what the module reports and the multimeter.
    int worstError(bool current) {
        clock_.advanceUs(3'000'000);
        MODULE_MEASURE_DATA m;
        EXPECT_EQ(readMeasurementBlock(1, 0, &m), 0);
        const vsim::OutputReadings t = module(1).trueReadings();
        auto off = [](int16_t reported, double truth) {
            return std::abs(reported - std::lround(truth / kStep));
        };
        if (current) return static_cast<int>(off(m.current, t.current));
        return static_cast<int>(std::max(off(m.uSense, t.uSense), off(m.uTerminal, t.uTerminal)));
    }
    int worstOverTheRange(bool current) {
        QOR& q = channelState().channelTable.channels[1];
        int worst = 0;
        for (double fraction : {0.15, 0.5, 0.85}) {
            if (current) {
                module(1).setLoadOhms(0.01);  // a short: the current limit holds the output
                EXPECT_TRUE(setNominalVolts(&q, 15.0));
                EXPECT_TRUE(q.user().setInom(q.currentToRaw(10.0 * fraction)));
            } else {
                module(1).setLoadOhms(1000);  // almost no load
                EXPECT_TRUE(setNominalVolts(&q, 15.0 * fraction));
            }
            worst = std::max(worst, worstError(current));
        }
        return worst;
    }
};

// When the wizard ends, the operator continues in the output configuration dialog, at the set point.
TEST_F(CalibrationRunTest, TheEndOfTheWizardMovesTheFocusToTheOutputConfiguration) {
    start(kMiscalibrated, kExpertView, "0010");  // QX308: no internal-sense steps
    module(1).setLoadOhms(1000);
    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    test::clickThroughWindow(window->channelList()->viewport(), Qt::RightButton,
                             QPoint(20, channelState().channelTable.channels[1].rowTop + 5));
    QWidget* configuration = window->outputConfiguration();
    ASSERT_NE(configuration, nullptr);
    press(d, 1133);  // Calibrate U
    d->activateWindow();
    const auto focusedId = [] {
        QWidget* f = QApplication::focusWidget();
        return f ? f->property("controlId").toInt() : 0;
    };
    for (int id : {1054, 1056}) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return focusedId() == id; }, test::kHangMs)) << id;
        repaints();
        const QString reading = QString::number(module(1).trueReadings().uSense, 'f', 6);
        for (QChar c : reading) QTest::keyClick(d->windowHandle(), c.toLatin1());
        test::keyThroughWindow(d, Qt::Key_Return);
    }
    EXPECT_FALSE(d->logic().wizard().running());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QWidget* f = QApplication::focusWidget();
            return f && f->window() == configuration && focusedId() == 1007;
        },
        test::kHangMs));
}

TEST_F(CalibrationRunTest, VoltageAndCurrentWizardsThroughTheDialogCorrectTheReadings) {
    start(kMiscalibrated, kExpertView);
    EXPECT_GT(worstOverTheRange(false), 50) << "the error shows before calibrating";
    EXPECT_GT(worstOverTheRange(true), 50);
    module(1).setLoadOhms(1000);
    ASSERT_TRUE(setNominalVolts(&channelState().channelTable.channels[1], 5.0));

    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d));
    press(d, 1133);  // Calibrate U
    QApplication::processEvents();
    auto* message = control<QPlainTextEdit>(d, 1135);
    EXPECT_TRUE(message->isVisible());
    EXPECT_TRUE(message->toPlainText().startsWith("Measure Sense Voltage low"));
    EXPECT_FALSE(control<QPushButton>(d, 1113)->isVisible()) << "no CAL buttons while a wizard runs";
    // A repaint feeds the averages and leaves the field being typed in alone.
    QApplication::processEvents();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->property("controlId").toInt(), 1054);
    QTest::keyClick(d->windowHandle(), '4');
    repaints();
    EXPECT_EQ(control<QLineEdit>(d, 1054)->text(), "4");
    QTest::keyClick(d->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    runWizard(d);
    EXPECT_FALSE(message->isVisible());
    EXPECT_TRUE(control<QPushButton>(d, 1113)->isVisible());
    EXPECT_EQ(channelState().channelTable.channels[1].voltageFromRaw(
                  channelState().channelTable.channels[1].user().Unom),
              5.0)
        << "the saved set voltage is restored";

    // A plain OK after the wizard: the points it filled in are shown rounded, none of them is typed.
    const CalibrationValues points = programCalibrationMemory().values;
    const auto factory = module(1).system();
    const uint32_t written = writes();
    press(d, 1);
    EXPECT_EQ(writes(), written);
    EXPECT_TRUE(module(1).system() == factory);
    EXPECT_TRUE(seam.boxes.empty());
    for (std::size_t i = 0; i < kCalQuantities; ++i) {
        const CalibrationValues& now = programCalibrationMemory().values;
        EXPECT_EQ(now.low[i].real, points.low[i].real) << i;
        EXPECT_EQ(now.low[i].module, points.low[i].module) << i;
        EXPECT_EQ(now.high[i].real, points.high[i].real) << i;
        EXPECT_EQ(now.high[i].module, points.high[i].module) << i;
    }

    module(1).setLoadOhms(0.01);
    press(d, 1134);  // Calibrate I
    QApplication::processEvents();
    runWizard(d);

    EXPECT_LE(worstOverTheRange(false), 1);
    EXPECT_LE(worstOverTheRange(true), 1);
    // The dialog shows the new pairs the module holds.
    EXPECT_NE(control<QLineEdit>(d, 1074)->text(), "32768");
    EXPECT_NE(control<QLineEdit>(d, 1076)->text(), "32768");
}

// The internal-sense steps wait seconds for the output to settle: the program keeps painting and
// ticking meanwhile, and a click on the list cannot start other work inside them.
TEST_F(CalibrationRunTest, TheAutomaticStepsKeepTheEventLoopTurningAndDropClicksOnTheList) {
    start(kMiscalibrated + std::string(",") + deviz(2, 12), kExpertView);  // KRAT: internal-sense steps
    module(1).setLoadOhms(1000);
    OutputCalibrationDialog* d = open(1);
    ASSERT_NE(d, nullptr);
    int turnsWhileMeasuring = 0;
    bool clickSentDuringMeasuring = false;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const int state = d->logic().wizard().state();
        if (state != kInternalHigh && state != kInternalLow) return;
        ++turnsWhileMeasuring;
        if (clickSentDuringMeasuring) return;
        clickSentDuringMeasuring = true;
        test::clickThroughWindow(window->channelList()->viewport(), Qt::RightButton,
                                 QPoint(20, channelState().channelTable.channels[2].rowTop + 5));
    });
    turns.start(0);
    press(d, 1133);  // Calibrate U
    runWizard(d);
    turns.stop();
    EXPECT_GT(turnsWhileMeasuring, 0) << "the event loop stood still while the dialog measured";
    EXPECT_TRUE(clickSentDuringMeasuring);
    EXPECT_EQ(channelState().selectedChannel, 1) << "a click on the list was taken while the dialog measured";
    EXPECT_EQ(window->outputCalibration(), d);
}

}  // namespace
}  // namespace vz
