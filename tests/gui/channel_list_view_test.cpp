#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <QPushButton>
#include <QTest>

#include "app/core/channel_selection.h"
#include "base/settings.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "app/gui/qt_operator.h"
#include "channel/channel_table.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

class ChannelListViewTest : public test::CrateFixture {
protected:
    void SetUp() override {
        CrateFixture::SetUp();
        std::string modules;
        for (int i = 0; i < 20; ++i)
            modules += (i ? "," : "") + std::string(R"({"channel": )") + std::to_string(i) + R"(, "serialNumber": )" +
                       std::to_string(100 + i) + R"(, "firmware": {"name": "DEVIZ"}, "on": )" +
                       (i == 5 ? "true" : "false") + "}";
        useScenario(test::oneBridgeScenario(modules));
        ASSERT_TRUE(usbOpen(usbInfo));
        bindDirectOperations();
        for (int i = 0; i < 20; ++i) {
            QOR& q = channelTable.channels[static_cast<std::size_t>(i)];
            q.moduleAddress = static_cast<uint16_t>(i);
            q.foundSerial = 100u + static_cast<uint32_t>(i);
            q.moduleKind = kKindDeviz;
        }
        channelTable.channels[5].status = 1;  // last polled: on
        channelTable.foundCount = 20;
        selectedChannel = 0;
        recorder->writes.clear();
    }
};

TEST_F(ChannelListViewTest, DigitTogglesAndSelectsOtherCharactersBeep) {
    MainWindow w(false);
    w.show();
    QTest::keyClick(&w, Qt::Key_5);
    ASSERT_EQ(sentFrames().size(), 1u);
    EXPECT_EQ(sentFrames()[0], (std::vector<uint8_t>{0x85, 0x31, 0x02, 0x00, 0xEC}));  // 5 was on: off
    EXPECT_EQ(selectedChannel, 5);
    QTest::keyClick(&w, Qt::Key_A);
    EXPECT_EQ(seam.beeps.size(), 1u);
    channelTable.channels[9].foundSerial = 0;  // absent
    QTest::keyClick(&w, Qt::Key_9);
    EXPECT_EQ(seam.beeps.size(), 2u);
    EXPECT_EQ(sentFrames().size(), 1u);
}

TEST_F(ChannelListViewTest, RightClickAfterScrollingSelectsTheChannelUnderTheMouse) {
    MainWindow w(false);
    w.resize(800, 200);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    view->viewport()->repaint();  // lays out the lines and their rowTop
    view->scrollRequest(ScrollRequest::LineDown);
    view->scrollRequest(ScrollRequest::LineDown);
    view->scrollRequest(ScrollRequest::LineDown);
    ASSERT_EQ(view->scrollState().scrollPos, 3);
    int rightClicked = -1;
    view->onRightClick = [&](int channel) { rightClicked = channel; };
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(20, 12 * 18 - 3 * 18 + 5));
    EXPECT_EQ(selectedChannel, 12);
    EXPECT_EQ(rightClicked, 12);
    EXPECT_TRUE(sentFrames().empty());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 12 * 18 - 3 * 18 + 5));
    ASSERT_EQ(sentFrames().size(), 1u);
    EXPECT_EQ(sentFrames()[0][0], 0x80 + 12);
}

TEST_F(ChannelListViewTest, PageDownInATallWindowDoesNotScroll) {
    MainWindow w(false);
    w.resize(800, 900);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.channelList()->viewport()->repaint();
    QTest::keyClick(w.channelList(), Qt::Key_PageDown);
    EXPECT_EQ(w.channelList()->scrollState().scrollPos, 0);
    w.resize(800, 150);
    QApplication::processEvents();
    QTest::keyClick(w.channelList(), Qt::Key_PageDown);
    EXPECT_GT(w.channelList()->scrollState().scrollPos, 0);
}

TEST_F(ChannelListViewTest, ArrowStepsWrapAroundThePresentChannels) {
    for (int i = 0; i < 20; ++i)
        if (i != 3 && i != 7) channelTable.channels[static_cast<std::size_t>(i)].foundSerial = 0;
    selectedChannel = 7;
    EXPECT_EQ(stepChannel(+1), 3);
    EXPECT_EQ(stepChannel(-1), 7);
    EXPECT_EQ(stepChannel(5), 3);  // any direction above 1 is +1
    EXPECT_FALSE(selectChannel(127));
    EXPECT_FALSE(selectChannel(4));
    EXPECT_EQ(selectedChannel, 3);
}

TEST_F(ChannelListViewTest, RefreshRepaintsOnlyTheRowsThatChanged) {
    MainWindow w(false);
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    view->refresh();
    EXPECT_TRUE(view->refresh().isEmpty());  // nothing changed, nothing to paint
    channelTable.channels[7].status = 1;      // channel 7 turned on
    const QRegion changed = view->refresh();
    ASSERT_EQ(changed.rectCount(), 1);
    EXPECT_EQ(changed.boundingRect().top(), channelTable.channels[7].rowTop);
    EXPECT_EQ(changed.boundingRect().height(), 18);
    // A new selection repaints the old and the new row.
    selectedChannel = 12;
    const QRegion selection = view->refresh();
    EXPECT_EQ(selection.rectCount(), 2);
    EXPECT_TRUE(selection.contains(QPoint(5, channelTable.channels[12].rowTop + 2)));
    EXPECT_TRUE(selection.contains(QPoint(5, channelTable.channels[0].rowTop + 2)));
}

TEST_F(ChannelListViewTest, SelectedRowHasALightBackgroundAndTheSameText) {
    MainWindow w(false);
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    selectedChannel = 3;
    view->refresh();
    const QImage image = view->viewport()->grab().toImage();
    const int x = view->viewport()->width() - 5;  // right of every text
    const QColor background = image.pixelColor(x, channelTable.channels[4].rowTop + 9);
    const QColor selected = image.pixelColor(x, channelTable.channels[3].rowTop + 9);
    EXPECT_NE(selected, background);
    EXPECT_EQ(background, view->viewport()->palette().color(QPalette::Base));
    EXPECT_GT(selected.lightness(), 150);  // light: the text stays readable
}

}  // namespace
}  // namespace vz

