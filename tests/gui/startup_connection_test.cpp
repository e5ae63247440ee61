// The window during the connection sequence: the search is shown, input is dropped, not replayed.
#include "app/gui/startup_connection.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using StartupConnectionTest = test::CrateFixture;

TEST_F(StartupConnectionTest, StartupShowsTheSearchAndDropsInputUntilTheListIsLive) {
    useScenario(test::oneBridgeScenario(
        R"({"channel": 0, "serialNumber": 100}, {"channel": 1, "serialNumber": 101}, {"channel": 2, "serialNumber": 102})"));
    crateSettings().fCmdLine |= kSkipSlip;
    MainWindow w(false);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    QStringList shown;
    bool inputGiven = false;
    QTimer operatorAtWork;
    QObject::connect(&operatorAtWork, &QTimer::timeout, [&] {
        if (view->isLive() || view->startupText().isEmpty()) return;
        shown << view->startupText();
        if (inputGiven) return;
        inputGiven = true;
        // What an impatient operator does while the window still searches.
        test::keyThroughWindow(&w, Qt::Key_1);
        test::clickThroughWindow(view->viewport(), Qt::LeftButton, QPoint(20, 5));
        test::clickThroughWindow(view->viewport(), Qt::LeftButton, QPoint(20, 23));
    });
    operatorAtWork.start(0);
    ASSERT_TRUE(connectShowingProgress(w, false, [](const ConnectionProgressFn& progress) {
        return connectController(crateSettings().fCmdLine, progress);
    }));
    operatorAtWork.stop();
    EXPECT_TRUE(inputGiven);
    EXPECT_TRUE(shown.contains("0 found, testing 0")) << shown.join(" | ").toStdString();
    EXPECT_TRUE(view->isLive());
    ASSERT_EQ(channelState().channelTable.foundCount, 3u);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    for (const auto& f : sentFrames()) EXPECT_NE(f.at(1) & 0x80, 0) << "something was written: a switch";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace vz
