// The scope on the G key and the trace from the menu, on a virtual crate, and the graph window's
// context menu that saves its data and its picture.
#include "trace/gui/graph_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/core/connection.h"
#include "app/core/polling.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "base/command_ids.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/switch_commands.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"
#include "trace/gui/graph_commands.h"

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

class GraphWindowTest : public test::CrateFixture {
  protected:
    void start() {
        useScenario(test::oneBridgeScenario(kModule, "", R"("canTimeoutMs": 1)"));
        fCmdLine |= kExpertView;
        searchLimit = 8;
        ASSERT_TRUE(connectController(fCmdLine));
        window = std::make_unique<MainWindow>(true);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_EQ(selectedChannel, 1);
    }
    void tick() {
        pollingTick();
        window->channelList()->refresh();
    }
    void rightClick(QWidget* w) { test::clickThroughWindow(w, Qt::RightButton); }
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

    // G again: the window stays, sampling stops.
    QTest::keyClick(window.get(), Qt::Key_G);
    EXPECT_TRUE(scope->isVisible());
    EXPECT_FALSE(window->graphCommands()->scopeSampling());
    const std::vector<double> before = uSense.values;
    tick();
    EXPECT_EQ(uSense.values, before);

    QTemporaryDir dir;
    const QString csv = dir.filePath("scope.csv"), png = dir.filePath("scope.png");
    pickFromMenu(QString::fromUtf8("Save Data\u2026"), [csv] { answerSaveDialog(csv); });
    rightClick(scope);
    const auto rows = readCsv(csv.toStdString());
    ASSERT_EQ(rows.size(), 601u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"index", "uSense", "uModul", "iModul", "Y3"}));
    for (std::size_t i = 0; i < 600; ++i)
        for (std::size_t c = 0; c < 4; ++c)
            ASSERT_EQ(std::stod(rows[i + 1][c + 1]), scope->graph().curves[c].values[i]) << i << " " << c;

    pickFromMenu(QString::fromUtf8("Save Image\u2026"), [png] { answerSaveDialog(png); });
    rightClick(scope);
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), scope->size());
}

TEST_F(GraphWindowTest, TraceFromTheMenuShowsTheRampAndReusesItsWindow) {
    start();
    window->menuAction(cmd::kTrace)->trigger();
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
    window->menuAction(cmd::kTrace)->trigger();
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
    window->menuAction(cmd::kTrace)->trigger();
    EXPECT_EQ(window->graphCommands()->traceWindow(), trace);
    EXPECT_TRUE(trace->isVisible());
}

}  // namespace
}  // namespace vz
