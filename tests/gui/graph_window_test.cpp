// The scope on the G key and the trace from the menu, on a virtual crate, and the graph window's
// context menu that saves its data and its picture.
#include "trace/gui/graph_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/core/connection.h"
#include "app/core/polling.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "app/gui/polling_timer.h"
#include "app/gui/qt_operator.h"
#include "base/command_ids.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/switch_commands.h"
#include "dialogs/gui/dvm_window.h"
#include "dialogs/gui/output_configuration_dialog.h"
#include "link/comm_problem.h"
#include "link/module_access.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/gui/when_ready.h"
#include "tests/support/crate_fixture.h"
#include "trace/graph_geometry.h"
#include "trace/graph_text.h"
#include "trace/gui/graph_commands.h"
#include "trace/trace_buffer.h"

namespace vz {
namespace {

// U1: 12 V at 100 V/s, so its ramp (120 ms) outlasts a mode 1 trace (82 ms); a 24 ohm load.
const char* kModule = R"({"channel": 1, "serialNumber": 301, "firmware": {"name": "DEVIZ"},
  "system": {"voltageExponent": -11, "currentExponent": -11, "maxUnom": "15 V", "maxInom": "10 A"},
  "user": {"Unom": "12 V", "Inom": "1 A", "rampUp": 100}})";

// Runs `act` on the widget of type T that shows up as popup or modal window, once it is there
// (looking every 20 ms for five seconds).
template <typename T>
void whenShown(std::function<void(T*)> act, int attemptsLeft = 250) {
    QTimer::singleShot(attemptsLeft == 250 ? 0 : 20, [act, attemptsLeft] {
        QWidget* w = QApplication::activePopupWidget();
        if (!qobject_cast<T*>(w)) w = QApplication::activeModalWidget();
        if (auto* found = qobject_cast<T*>(w))
            act(found);
        else if (attemptsLeft > 0)
            whenShown<T>(act, attemptsLeft - 1);
    });
}

// Picks a context menu item with the mouse.
void pickFromMenu(const QString& text, std::function<void()> then = {}) {
    whenShown<QMenu>([text, then](QMenu* menu) {
        for (QAction* a : menu->actions())
            if (a->text() == text) {
                if (then) then();
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                return;
            }
        ADD_FAILURE() << "no menu item " << text.toStdString();
        menu->close();
    });
}

// Puts a file name into the save dialog and presses Return.
void answerSaveDialog(const QString& path) {
    whenShown<QFileDialog>([path](QFileDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(path);  // typed text would open the completer's popup, which takes the Return
        QTest::keyClick(edit, Qt::Key_Return);
    });
}

using test::WhenReady;

QDialog* modalDialogNamed(const char* name) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    return dialog && dialog->objectName() == name && dialog->isVisible() ? dialog : nullptr;
}

bool anyProgressBoxVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QProgressDialog*>(w) && w->isVisible()) return true;
    return false;
}

class GraphWindowTest : public test::CrateFixture {
  protected:
    void start(const std::string& faults = "") {
        useScenario(test::oneBridgeScenario(kModule, faults, R"("canTimeoutMs": 1)"));
        crateSettings().fCmdLine |= kExpertView;
        crateSettings().searchLimit = 8;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        window = std::make_unique<MainWindow>(true);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_EQ(channelState().selectedChannel, 1);
    }
    void tick() {
        pollingTick();
        window->channelList()->refresh();
    }
    void rightClick(QWidget* w) { test::clickThroughWindow(w, Qt::RightButton); }
    // A top-level item of the menu bar, clicked with the mouse.
    void clickMenuBar(const QString& text) {
        QMenuBar* bar = window->menuBar();
        for (QAction* a : bar->actions())
            if (a->text() == text)
                return test::clickThroughWindow(bar, Qt::LeftButton, bar->actionGeometry(a).center());
        ADD_FAILURE() << "no menu bar item " << text.toStdString();
    }
    GraphCommands& graphs() { return *window->graphCommands(); }
    // Lets the trace run to its end: its pauses are on the virtual clock, moved on while waiting.
    bool traceEnds() {
        return QTest::qWaitFor(
            [this] {
                if (graphs().tracing()) clock_.advanceUs(50'000);
                return !graphs().tracing();
            },
            test::kHangMs);
    }
    std::unique_ptr<MainWindow> window;
};

std::vector<std::vector<std::string>> readCsv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> cells;
        std::stringstream s(line);
        std::string cell;
        while (std::getline(s, cell, ',')) cells.push_back(cell);
        if (!line.empty() && line.back() == ',') cells.emplace_back();
        rows.push_back(cells);
    }
    return rows;
}

TEST_F(GraphWindowTest, ScopeOnTheGKeySamplesEveryRepaintAndSavesItsDataAndPicture) {
    start();
    ASSERT_GT(sendSwitchCommand(moduleAddressByte(1), 1), 0);
    QTest::keyClick(window.get(), Qt::Key_G);
    GraphWindow* scope = window->graphCommands()->scopeWindow();
    ASSERT_NE(scope, nullptr);
    EXPECT_TRUE(scope->isVisible());
    EXPECT_EQ(scope->windowTitle(), "QOR Signals, 600 Points, total time 60.000000 s");
    EXPECT_EQ(scope->cursor().shape(), Qt::CrossCursor);
    for (int i = 0; i < 30; ++i) {
        clock_.advanceUs(100'000);
        tick();
    }
    const Curve& uSense = scope->graph().curves[0];
    EXPECT_NEAR(uSense.values[0], 12.0, 0.01) << "the newest sample, after the ramp";
    EXPECT_NEAR(uSense.values[29], 10.0, 0.01) << "the first, 100 ms up the ramp";
    EXPECT_EQ(uSense.values[30], 0.0);
    EXPECT_EQ(uSense.maximum, uSense.values[0]);

    // G again: the window stays, sampling stops, and the window says so.
    QTest::keyClick(window.get(), Qt::Key_G);
    EXPECT_TRUE(scope->isVisible());
    EXPECT_FALSE(window->graphCommands()->scopeSampling());
    EXPECT_TRUE(scope->paused());
    const std::vector<double> before = uSense.values;
    tick();
    EXPECT_EQ(uSense.values, before);

    QTemporaryDir dir;
    const QString csv = dir.filePath("scope.csv"), png = dir.filePath("scope.png");
    pickFromMenu(QString::fromUtf8("Save Data\u2026"), [csv] { answerSaveDialog(csv); });
    rightClick(scope);
    const auto rows = readCsv(csv.toStdString());
    ASSERT_EQ(rows.size(), 601u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"index", "time [s]", "uSense [V]", "uModul [V]",
                                                 "iModul [A]", "Y3"}));
    for (std::size_t i = 0; i < 600; ++i) {
        ASSERT_DOUBLE_EQ(std::stod(rows[i + 1][1]), -0.1 * static_cast<double>(i)) << "back from the newest";
        for (std::size_t c = 0; c < 4; ++c)
            ASSERT_EQ(std::stod(rows[i + 1][c + 2]), scope->graph().curves[c].values[i]) << i << " " << c;
    }

    pickFromMenu(QString::fromUtf8("Save Image\u2026"), [png] { answerSaveDialog(png); });
    rightClick(scope);
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), scope->size());

    // Closed with its close box and opened again with G: it runs again, not frozen.
    scope->close();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_G);
    EXPECT_TRUE(scope->isVisible());
    EXPECT_TRUE(window->graphCommands()->scopeSampling());
    EXPECT_FALSE(scope->paused());
    tick();
    EXPECT_NE(uSense.values, before);
}

TEST_F(GraphWindowTest, TraceFromTheMenuShowsTheRampAndReusesItsWindow) {
    start();
    clickMenuBar("&Trace");
    ASSERT_TRUE(traceEnds());
    GraphWindow* sync = window->graphCommands()->traceWindow();
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(sync->windowTitle(), "DEVIZ Trace Sync (50 Values)");
    EXPECT_EQ(sync->graph().curves[3].name, "phaseDifference");
    EXPECT_NE(sync->graph().curves[0].values[49], 0.0) << "sync times shown";

    // The trace mode from the trace window's menu; the next trace gets a window laid out for it.
    pickFromMenu("Trace Mode 1");
    rightClick(sync);
    EXPECT_EQ(window->graphCommands()->traceMode(), 1);
    ASSERT_GT(sendSwitchCommand(moduleAddressByte(1), 1), 0);
    clock_.advanceUs(60'000);
    clickMenuBar("&Trace");
    ASSERT_TRUE(traceEnds());
    GraphWindow* trace = window->graphCommands()->traceWindow();
    ASSERT_NE(trace, nullptr);
    EXPECT_EQ(trace->windowTitle(), "DEVIZ Trace (100 Values, 82.08 ms)");
    const Curve& uSense = trace->graph().curves[0];
    EXPECT_EQ(uSense.name, "uSense (SWI)");
    EXPECT_NEAR(uSense.values[0], 6.0, 0.2);
    EXPECT_EQ(uSense.values[99], 12.0);
    for (int i = 1; i < 100; ++i)
        EXPECT_GE(uSense.values[static_cast<std::size_t>(i)], uSense.values[static_cast<std::size_t>(i - 1)]);

    // Closed and traced again: the same window comes back.
    trace->close();
    clickMenuBar("&Trace");
    ASSERT_TRUE(traceEnds());
    EXPECT_EQ(window->graphCommands()->traceWindow(), trace);
    EXPECT_TRUE(trace->isVisible());
}

// The module stops answering its count reads while the About box is open over the list: the
// communication problem dialog still takes the click, and that one click ends the trace, with no
// progress box or report left to answer.
TEST_F(GraphWindowTest, SilentModuleDuringATraceEndsWithOneClickWhateverDialogIsOpen) {
    start(R"({"kind": "noReply", "channel": 1, "operation": "readAddr", "address": "0x0F002"})");
    QtOperator qt(window.get());
    setOperatorSeam(&qt);
    clickMenuBar("&Trace");
    ASSERT_TRUE(graphs().tracing());

    bool sawBox = false;
    WhenReady box([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
                  [&] {
                      sawBox = true;
                      test::keyThroughWindow(QApplication::activeModalWidget(), Qt::Key_Return);
                  });
    // With the About box up, time goes on: the count read falls due; its retries open the problem dialog.
    bool aboutSeen = false;
    QTimer time;
    QObject::connect(&time, &QTimer::timeout, [&] {
        if (!modalDialogNamed("AboutDialog") || !graphs().tracing()) return;
        aboutSeen = true;
        clock_.advanceUs(50'000);
    });
    time.start(0);
    QString caption;
    WhenReady cancel([&] { return qt.commProblemDialog() && qt.commProblemDialog()->isVisible(); },
                     [&] {
                         QDialog* dialog = qt.commProblemDialog();
                         caption = dialog->windowTitle();
                         // Its whole caption fits, and it leaves the menu bar free.
                         EXPECT_GT(dialog->width(), dialog->fontMetrics().horizontalAdvance(caption));
                         QMenuBar* bar = window->menuBar();
                         EXPECT_GE(dialog->frameGeometry().top(),
                                   bar->mapToGlobal(QPoint(0, bar->height())).y());
                         test::clickThroughWindow(test::control<QPushButton>(qt.commProblemDialog(), 2));
                     });
    WhenReady closeAbout(
        [&] { return cancel.done() && !graphs().tracing() && modalDialogNamed("AboutDialog"); },
        [&] { test::keyThroughWindow(modalDialogNamed("AboutDialog"), Qt::Key_Escape); });
    window->dispatchCommand(cmd::kInfo);  // the About box, until Escape closes it
    setOperatorSeam(&seam);

    EXPECT_TRUE(aboutSeen);
    EXPECT_TRUE(cancel.done());
    EXPECT_TRUE(closeAbout.done());
    EXPECT_EQ(caption, "[SN SN1] Communication Problem");
    EXPECT_FALSE(graphs().tracing());
    EXPECT_FALSE(sawBox) << "the operator's CANCEL was the answer: nothing more to confirm";
    EXPECT_FALSE(anyProgressBoxVisible());
    EXPECT_EQ(qt.commProblemDialog(), nullptr);
    EXPECT_EQ(graphs().traceWindow()->graph().curves[0].values[0], 0.0) << "no data shown";
}

// A trace that fails at once reports it; the progress box is gone before the report, so nothing
// pops up over it and its OK ends the command.
TEST_F(GraphWindowTest, FailedTraceLeavesNoProgressBoxBehind) {
    start(R"({"kind": "moduleError", "channel": 1, "operation": "readAddr", "address": "0x0F000"})");
    QtOperator qt(window.get());
    setOperatorSeam(&qt);
    QString text;
    bool progressDuringBox = true;
    WhenReady ok([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
                 [&] {
                     auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                     text = box->text();
                     progressDuringBox = graphs().traceProgress() != nullptr || anyProgressBoxVisible();
                     test::clickThroughWindow(box->button(QMessageBox::Ok));
                 });
    clickMenuBar("&Trace");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ok.done() && !QApplication::activeModalWidget(); }, test::kHangMs));
    setOperatorSeam(&seam);
    EXPECT_EQ(text, "Trace of U1 stopped: the module did not answer.");
    EXPECT_FALSE(progressDuringBox);
    EXPECT_FALSE(graphs().tracing());
    // The box is destroyed, not merely hidden: it can never come back.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return window->findChildren<QProgressDialog*>().isEmpty(); }, test::kHangMs));
}

// While a trace waits for its samples the list keeps polling and repainting; its progress box comes
// after a second, and its Cancel ends the trace without touching the recording.
TEST_F(GraphWindowTest, ListKeepsPollingDuringATraceAndCancelEndsIt) {
    start();
    PollingTimer polling(window->channelList(), [] { return false; });
    polling.start(10);
    clickMenuBar("&Trace");
    ASSERT_TRUE(graphs().tracing());
    const uint32_t ticksAtStart = pollingCycle().tickCount;
    ASSERT_TRUE(QTest::qWaitFor([&] { return pollingCycle().tickCount >= ticksAtStart + 5; }, test::kHangMs));
    EXPECT_TRUE(graphs().tracing()) << "virtual time stands: the samples are still awaited";
    QProgressDialog* progress = graphs().traceProgress();
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isModal());
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, test::kHangMs));
    EXPECT_EQ(progress->labelText(), "Waiting for the trace of U1 ...");
    test::clickThroughWindow(progress->findChild<QPushButton*>());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !graphs().tracing(); }, test::kHangMs));
    EXPECT_TRUE(seam.boxes.empty());
    uint8_t header[4];
    ASSERT_EQ(moduleRead(moduleAddressByte(1), 0, kTraceBufferAddress, header, 4), 4);
    EXPECT_EQ(header[0], 3) << "the recording started";
    EXPECT_NE(header[2] | (header[3] << 8), 0xFFFF) << "and was not marked read out";
    // Polling went on after the trace, and a new trace can start.
    clickMenuBar("&Trace");
    EXPECT_TRUE(traceEnds());
}

// Large values (sync times near 8.5e8) keep their leading digits in the label column; a narrow
// window keeps the statistics whole.
TEST_F(GraphWindowTest, LabelsAndStatisticsAreNeverCutOff) {
    Graph graph = makeTraceGraph(3);
    for (uint32_t i = 0; i < 50; ++i) setValue(graph.curves[0], i, 8.5e8 + 40000.0 * i);
    for (Curve& c : graph.curves) updateCurve(c);
    std::unique_ptr<GraphWindow> w(createGraph(std::move(graph), nullptr));
    const GraphAxis axis = chooseAxis(w->graph().curves[0].lowerBound, w->graph().curves[0].upperBound);
    const QFontMetrics metrics(w->font());
    const int widest = std::max(metrics.horizontalAdvance(QString::fromStdString(axisLabel(axis.start))),
                                metrics.horizontalAdvance(QString::fromStdString(axisLabel(axis.end))));
    EXPECT_GT(widest, graphlayout::kLabelColumn) << "the case at hand";
    EXPECT_GE(w->labelColumn(), widest) << "the label starts at or right of the window's edge";

    w->resize(300, 400);
    const std::string line = statisticsLine(w->graph().curves[0]);
    const auto parts = splitAtTabs(line);
    const auto xs = tabbedPartPositions(parts, statisticsOrigin(0, 400).x, [&](const std::string& s) {
        return metrics.horizontalAdvance(QString::fromStdString(s));
    });
    EXPECT_GE(w->width(), xs.back() + metrics.horizontalAdvance(QString::fromStdString(parts.back())));
}

// A curve exactly under a later one still shows: red uSense under blue iModul.
TEST_F(GraphWindowTest, CurveUnderAnotherStaysVisible) {
    Graph graph = makeGraph("t", 100);
    for (uint32_t i = 0; i < 100; ++i) {
        setValue(graph.curves[0], i, std::sin(i / 10.0));
        setValue(graph.curves[2], i, std::sin(i / 10.0));
    }
    for (Curve& c : graph.curves) updateCurve(c);
    std::unique_ptr<GraphWindow> w(createGraph(std::move(graph), nullptr));
    const QImage image = w->grab().toImage();
    int red = 0, blue = 0;
    const int plotBottom = w->height() - 2 * graphlayout::kMargin - graphlayout::kTextBlock;
    for (int y = graphlayout::kMargin + 1; y < plotBottom; ++y)
        for (int x = graphlayout::kMargin + graphlayout::kLabelColumn + 1;
             x < w->width() - graphlayout::kMargin; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
            if (c.blue() > 200 && c.red() < 80 && c.green() < 80) ++blue;
        }
    EXPECT_GT(red, 100);
    EXPECT_GT(blue, 100);
}

// The channel dialogs open beside the main window where the screen has room, not over the list.
TEST_F(GraphWindowTest, ChannelDialogsOpenBesideTheMainWindow) {
    start();
    const QRect screen = window->screen()->availableGeometry();
    window->resize(300, 300);
    window->move(screen.topLeft());
    window->dispatchCommand(cmd::kDvm);
    window->dispatchCommand(cmd::kOutputConfiguration);
    const QRect main = window->frameGeometry();
    for (QWidget* dialog :
         {static_cast<QWidget*>(window->dvmWindow()), static_cast<QWidget*>(window->outputConfiguration())}) {
        ASSERT_NE(dialog, nullptr);
        const QRect at = dialog->frameGeometry();
        EXPECT_TRUE(screen.contains(at) || at.width() > screen.width() || at.height() > screen.height());
        if (at.width() <= screen.right() - main.right()) {
            EXPECT_FALSE(at.intersects(main)) << dialog->objectName().toStdString();
            EXPECT_EQ(at.top(), main.top());
        }
    }
}

}  // namespace
}  // namespace vz
