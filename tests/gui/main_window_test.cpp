#include "app/gui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/gui/channel_list_view.h"
#include "base/command_ids.h"
#include "base/debug_log.h"
#include "base/polling_state.h"
#include "base/settings.h"
#include "link/link_state.h"
#include "link/usb_link.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"

namespace vz {
namespace {

using test::control;

TEST(MainWindowTest, SizeTitleAndScrollBar) {
    MainWindow normal(false), expert(true);
    EXPECT_EQ(normal.size(), QSize(800, 342));
    EXPECT_EQ(expert.size(), QSize(800, 378));
    EXPECT_EQ(normal.windowTitle(), "VIDIzozorez");
    EXPECT_EQ(normal.channelList()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(normal.channelList()->viewport()->cursor().shape(), Qt::CrossCursor);
}

// A debug log file that stopped taking lines (here /dev/full) is named beside the menu.
TEST(MainWindowTest, ADebugLogThatStoppedIsNamedBesideTheMenu) {
    ASSERT_TRUE(debugLogOpenFile("/dev/full"));
    MainWindow w(false);
    w.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.menuBar()->cornerWidget(Qt::TopRightCorner) != nullptr; },
                                test::kHangMs));
    const auto* note = qobject_cast<QLabel*>(w.menuBar()->cornerWidget(Qt::TopRightCorner));
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->text().contains("logging to \"/dev/full\" stopped: No space left on device"))
        << note->text().toStdString();
    debugLogCloseFile();
}

TEST(MainWindowTest, MenuAdjustmentByControllerType) {
    struct Case {
        int type;
        bool expert;
        std::vector<int> present, absent;
    };
    const std::vector<int> expertOnly = {cmd::kTrace, cmd::kScope, cmd::kAllInhibitOn, cmd::kAllInhibitOff};
    const Case cases[] = {
        {18, false, {cmd::kAllOn, cmd::kStop, cmd::kInfo}, expertOnly},
        {18, true, expertOnly, {}},
        {21, false, {cmd::kExit, cmd::kFirmwareUpdate, cmd::kInfo}, {cmd::kAllOn, cmd::kStop, cmd::kDvm}},
        {22, true, {cmd::kExit, cmd::kFirmwareUpdate, cmd::kInfo}, {cmd::kTrace, cmd::kReadConfiguration}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        MainWindow w(c.expert);
        if (!c.expert) {  // also while the crate is searched, before the type is known
            for (int id : expertOnly) EXPECT_EQ(w.menuAction(id), nullptr) << id;
        }
        w.adjustMenuForController(c.type, c.expert);
        for (int id : c.present) EXPECT_NE(w.menuAction(id), nullptr) << id;
        for (int id : c.absent) EXPECT_EQ(w.menuAction(id), nullptr) << id;
    }
}

TEST(MainWindowTest, RemovedCommandLeavesTheMenu) {
    MainWindow w(false);
    QAction* action = w.menuAction(cmd::kFirmwareUpdateViaCan);
    ASSERT_NE(action, nullptr);
    QMenu* system = nullptr;
    for (QAction* top : w.menuBar()->actions())
        if (top->text() == "S&ystem") system = top->menu();
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->actions().size(), 3);
    w.removeMenuCommand(cmd::kFirmwareUpdateViaCan);
    EXPECT_EQ(system->actions().size(), 2);
    EXPECT_EQ(w.menuAction(cmd::kFirmwareUpdateViaCan), nullptr);
}

TEST(MainWindowTest, AcceleratorGReachesScopeWithoutMenuItem) {
    MainWindow w(false);
    w.adjustMenuForController(18, false);
    ASSERT_EQ(w.menuAction(cmd::kScope), nullptr);
    w.show();
    QApplication::setActiveWindow(&w);
    QSignalSpy spy(&w, &MainWindow::commandDispatched);
    QTest::keyClick(&w, Qt::Key_G);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), cmd::kScope);
}

TEST(MainWindowTest, StopTogglesTextAndPolling) {
    MainWindow w(false);
    crateSettings().pollingStoppedByOperator = false;
    w.menuAction(cmd::kStop)->trigger();
    EXPECT_EQ(w.menuAction(cmd::kStop)->text(), "&Start");
    EXPECT_TRUE(pollingStopped());
    {
        // A job that pauses the ticks and resumes them leaves the operator's Stop as it was.
        const PollingPause job;
        EXPECT_TRUE(pollingStopped());
    }
    EXPECT_TRUE(pollingStopped());
    w.menuAction(cmd::kStop)->trigger();
    EXPECT_EQ(w.menuAction(cmd::kStop)->text(), "&Stop");
    EXPECT_FALSE(pollingStopped());
    {
        const PollingPause job;
        EXPECT_TRUE(pollingStopped());
    }
    EXPECT_FALSE(pollingStopped());
}

TEST(MainWindowTest, AboutBoxTexts) {
    MainWindow w(false);
    linkState().usbInfo.dllVersion[0] = 0x00030002;
    linkState().usbInfo.dllVersion[1] = 0x00010000;
    linkState().usbInfo.driverVersion[0] = 0x00060005;
    linkState().usbInfo.driverVersion[1] = 0x00040003;
    QString texts[3];
    QString caption;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        caption = dialog->windowTitle();
        for (int i = 0; i < 3; ++i)
            if (QLabel* l = control<QLabel>(dialog, 1087 + i)) texts[i] = l->text();
        test::keyThroughWindow(dialog, Qt::Key_Escape);
    });
    w.dispatchCommand(cmd::kInfo);
    EXPECT_EQ(caption, "Info");
    EXPECT_EQ(texts[0], "VIDIzozorez  Version 2.1.6742.0");
    EXPECT_EQ(texts[1], "SiUSBXp.dll Version 3.2.1.0");
    EXPECT_EQ(texts[2], "USB Driver Version 6.5.4.3");
    linkState().usbInfo = UsbInfo{};
}

}  // namespace
}  // namespace vz
