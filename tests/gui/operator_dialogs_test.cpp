// The dialogs the Qt operator shows from inside the core, driven with real input events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "app/gui/qt_operator.h"
#include "channel/channel_table.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/gui/when_ready.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::clickThroughWindow;
using test::keyThroughWindow;

using test::WhenReady;

class CommProblemDialogTest : public test::CrateFixture {};

// A crate that stops answering: the dialog opens after the silent retries, and each way an operator
// answers it ends the exchange. The dialog runs inside the exchange's pump, so only input that really
// reaches it can end the retries (the test's TIMEOUT catches a dialog that ignores it).
TEST_F(CommProblemDialogTest, RealInputOnTheDialogEndsTheRetries) {
    struct Case {
        const char* name;
        std::function<void(QDialog*, QPushButton*)> press;
    };
    const Case cases[] = {
        {"mouse click on CANCEL", [](QDialog*, QPushButton* b) { clickThroughWindow(b); }},
        {"Space", [](QDialog*, QPushButton* b) { keyThroughWindow(b, Qt::Key_Space); }},
        {"Return", [](QDialog*, QPushButton* b) { keyThroughWindow(b, Qt::Key_Return); }},
        {"Escape", [](QDialog* d, QPushButton*) { keyThroughWindow(d, Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetCommProblem();
        useScenario(
            test::oneBridgeScenario(R"({"channel": 0, "serialNumber": 100})", R"({"kind": "noReply"})"));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
        bindDirectOperations();
        MainWindow w(false);
        w.show();
        QtOperator qt(&w);
        setOperatorSeam(&qt);
        QString caption;
        WhenReady press([&] { return qt.commProblemDialog() && qt.commProblemDialog()->isVisible(); },
                        [&] {
                            QDialog* dialog = qt.commProblemDialog();
                            caption = dialog->windowTitle();
                            QPushButton* cancel = test::control<QPushButton>(dialog, 2);
                            ASSERT_NE(cancel, nullptr);
                            EXPECT_EQ(cancel->text(), "CANCEL");
                            c.press(dialog, cancel);
                        });
        uint8_t data[4];
        EXPECT_EQ(readAddr(0x80, 2, 0x1000, data, 4), -1);
        setOperatorSeam(&seam);
        EXPECT_TRUE(press.done());
        EXPECT_TRUE(linkState().commProblem.abort);
        EXPECT_EQ(caption, "[SN SN1] Communication Problem");
        EXPECT_EQ(qt.commProblemDialog(), nullptr);  // closed at the end of the exchange
        usbClose();
    }
}

// While the dialog waits, a click on the main window's list must not start another exchange, but
// timers of other objects keep running.
TEST_F(CommProblemDialogTest, OtherWindowsTakeNoInputWhileTheDialogWaits) {
    useScenario(test::oneBridgeScenario(R"({"channel": 0, "serialNumber": 100})", R"({"kind": "noReply"})"));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    bindDirectOperations();
    channelState().channelTable.channels[0].moduleAddress = 0;
    channelState().channelTable.channels[0].foundSerial = 100;
    channelState().channelTable.foundCount = 1;
    MainWindow w(false);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.channelList()->viewport()->repaint();
    QtOperator qt(&w);
    setOperatorSeam(&qt);
    int otherTimerTicks = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ++otherTimerTicks; });
    other.start(0);
    size_t framesAtClick = 0;
    WhenReady clickList([&] { return qt.commProblemDialog() && qt.commProblemDialog()->isVisible(); },
                        [&] {
                            framesAtClick = recorder->writes.size();
                            clickThroughWindow(w.channelList()->viewport(), Qt::LeftButton, QPoint(20, 5));
                            keyThroughWindow(&w, Qt::Key_0);
                        });
    WhenReady cancel([&] { return clickList.done(); },
                     [&] { clickThroughWindow(test::control<QPushButton>(qt.commProblemDialog(), 2)); });
    uint8_t data[4];
    EXPECT_EQ(readAddr(0x80, 2, 0x1000, data, 4), -1);
    setOperatorSeam(&seam);
    ASSERT_TRUE(cancel.done());
    EXPECT_GT(otherTimerTicks, 0);
    // Only the retries of the running read went out: no switch command from the click or the digit.
    for (size_t i = framesAtClick; i < recorder->writes.size(); ++i)
        EXPECT_NE(recorder->writes[i].bytes.at(1) & 0x80, 0) << "a write went out at frame " << i;
}

TEST(UsbSelectDialogTest, ShowsTheDevicesAndReturnsTheClickedOne) {
    MainWindow w(false);
    QtOperator seam(&w);
    QStringList availableTexts;
    int inUse = -1;
    bool okEnabledAtFirst = true, comboUsed = true;
    QString title;
    WhenReady choose([] { return qobject_cast<QDialog*>(QApplication::activeModalWidget()) != nullptr; },
                     [&] {
                         auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                         title = dialog->windowTitle();
                         auto* list = test::control<QListWidget>(dialog, 1137);
                         auto* held = test::control<QListWidget>(dialog, 1138);
                         auto* ok = test::control<QPushButton>(dialog, 1);
                         ASSERT_TRUE(list && held && ok);
                         comboUsed = false;
                         for (int i = 0; i < list->count(); ++i) availableTexts << list->item(i)->text();
                         inUse = held->count();
                         okEnabledAtFirst = ok->isEnabled();
                         // Sorted by text: "SN A ..." first, "SN B ..." second.
                         clickThroughWindow(list->viewport(), Qt::LeftButton,
                                            list->visualItemRect(list->item(1)).center());
                         clickThroughWindow(ok);
                     });
    const int chosen = seam.chooseUsbDevice(
        {{0, true, "B", "second crate"}, {1, false, "C", "held"}, {2, true, "A", "first crate"}});
    EXPECT_FALSE(comboUsed);
    EXPECT_EQ(title, "Select a USB device, please");
    EXPECT_EQ(availableTexts, QStringList({"SN A  - first crate", "SN B  - second crate"}));
    EXPECT_EQ(inUse, 1);
    EXPECT_FALSE(okEnabledAtFirst);
    EXPECT_EQ(chosen, 0);
}

TEST(UsbSelectDialogTest, CancelAndEscapeChooseNothing) {
    MainWindow w(false);
    QtOperator seam(&w);
    for (const bool escape : {false, true}) {
        WhenReady cancel([] { return QApplication::activeModalWidget() != nullptr; },
                         [escape] {
                             auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                             if (escape) {
                                 keyThroughWindow(dialog, Qt::Key_Escape);
                             } else {
                                 for (auto* b : dialog->findChildren<QPushButton*>())
                                     if (b->text().contains("Cancel")) clickThroughWindow(b);
                             }
                         });
        EXPECT_EQ(seam.chooseUsbDevice({{0, true, "B", "crate"}, {1, true, "A", "crate"}}), -1);
    }
}

// The module updater's worker reaches the operator too: its calls are carried out on the GUI thread.
// A question waits for the operator's answer; the problem dialog is opened without waiting (the
// worker holds linkLock) and its CANCEL is read as a flag.
TEST(QtOperatorFromAnotherThread, QuestionsWaitForTheAnswerAndTheProblemDialogDoesNot) {
    MainWindow w(false);
    w.show();
    QtOperator qt(&w);
    std::atomic<int> answer{-1};
    std::atomic<bool> problemOpened{false}, cancelSeen{false}, done{false};
    std::thread worker([&] {
        qt.setTitle("from the worker");
        answer = static_cast<int>(
            qt.messageBox({"Worker", "Go on?", BoxButtons::OkCancel, BoxIcon::Question, true}));
        qt.commProblemOpen("[SN W] Communication Problem");
        problemOpened = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kHangMs);
        while (!cancelSeen && std::chrono::steady_clock::now() < deadline) {
            cancelSeen = qt.commProblemPump();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        qt.commProblemClose();
        done = true;
    });
    WhenReady pressOk([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
                      [] {
                          auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                          clickThroughWindow(box->button(QMessageBox::Ok));
                      });
    WhenReady pressCancel(
        [&] { return problemOpened && qt.commProblemDialog() && qt.commProblemDialog()->isVisible(); },
        [&] { clickThroughWindow(test::control<QPushButton>(qt.commProblemDialog(), 2)); });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 2 * test::kHangMs)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    QApplication::processEvents();
    EXPECT_EQ(w.windowTitle(), "from the worker");
    EXPECT_EQ(answer, static_cast<int>(BoxAnswer::Ok));
    EXPECT_TRUE(cancelSeen);
    EXPECT_EQ(qt.commProblemDialog(), nullptr);
}

}  // namespace
}  // namespace vz
