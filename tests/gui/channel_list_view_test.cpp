#include "app/gui/channel_list_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <set>

#include "app/core/channel_list_text.h"
#include "app/core/channel_selection.h"
#include "app/core/polling.h"
#include "app/gui/main_window.h"
#include "app/gui/qt_operator.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

class ChannelListViewTest : public test::CrateFixture {
  protected:
    static std::string modules() {
        std::string modules;
        for (int i = 0; i < 20; ++i)
            modules += (i ? "," : "") + std::string(R"({"channel": )") + std::to_string(i) +
                       R"(, "serialNumber": )" + std::to_string(100 + i) +
                       R"(, "firmware": {"name": "DEVIZ"}, "on": )" + (i == 5 ? "true" : "false") + "}";
        return modules;
    }
    void SetUp() override {
        CrateFixture::SetUp();
        useScenario(test::oneBridgeScenario(modules()));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
        bindDirectOperations();
        for (int i = 0; i < 20; ++i) {
            QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(i)];
            q.moduleAddress = static_cast<uint16_t>(i);
            q.foundSerial = 100u + static_cast<uint32_t>(i);
            q.moduleKind = kKindDeviz;
        }
        channelState().channelTable.channels[5].status = 1;  // last polled: on
        channelState().channelTable.foundCount = 20;
        channelState().selectedChannel = 0;
        recorder->writes.clear();
    }
};

TEST_F(ChannelListViewTest, DigitTogglesAndSelectsOtherCharactersBeep) {
    MainWindow w(false);
    w.show();
    QTest::keyClick(&w, Qt::Key_5);
    ASSERT_EQ(sentFrames().size(), 1u);
    EXPECT_EQ(sentFrames()[0], (std::vector<uint8_t>{0x85, 0x31, 0x02, 0x00, 0xEC}));  // 5 was on: off
    EXPECT_EQ(channelState().selectedChannel, 5);
    QTest::keyClick(&w, Qt::Key_A);
    EXPECT_EQ(seam.beeps.size(), 1u);
    channelState().channelTable.channels[9].foundSerial = 0;  // absent
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
    EXPECT_EQ(channelState().selectedChannel, 12);
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
        if (i != 3 && i != 7)
            channelState().channelTable.channels[static_cast<std::size_t>(i)].foundSerial = 0;
    channelState().selectedChannel = 7;
    EXPECT_EQ(stepChannel(+1), 3);
    EXPECT_EQ(stepChannel(-1), 7);
    EXPECT_EQ(stepChannel(5), 3);  // any direction above 1 is +1
    EXPECT_FALSE(selectChannel(127));
    EXPECT_FALSE(selectChannel(4));
    EXPECT_EQ(channelState().selectedChannel, 3);
}

TEST_F(ChannelListViewTest, RefreshRepaintsOnlyTheRowsThatChanged) {
    MainWindow w(false);
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    view->refresh();
    EXPECT_TRUE(view->refresh().isEmpty());              // nothing changed, nothing to paint
    channelState().channelTable.channels[7].status = 1;  // channel 7 turned on
    const QRegion changed = view->refresh();
    ASSERT_EQ(changed.rectCount(), 1);
    EXPECT_EQ(changed.boundingRect().top(), channelState().channelTable.channels[7].rowTop);
    EXPECT_EQ(changed.boundingRect().height(), 18);
    // A new selection repaints the old and the new row.
    channelState().selectedChannel = 12;
    const QRegion selection = view->refresh();
    EXPECT_EQ(selection.rectCount(), 2);
    EXPECT_TRUE(selection.contains(QPoint(5, channelState().channelTable.channels[12].rowTop + 2)));
    EXPECT_TRUE(selection.contains(QPoint(5, channelState().channelTable.channels[0].rowTop + 2)));
}

TEST_F(ChannelListViewTest, SelectedRowHasALightBackgroundAndTheSameText) {
    MainWindow w(false);
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    channelState().selectedChannel = 3;
    view->refresh();
    const QImage image = view->viewport()->grab().toImage();
    const int x = view->viewport()->width() - 5;  // right of every text
    const QColor background = image.pixelColor(x, channelState().channelTable.channels[4].rowTop + 9);
    const QColor selected = image.pixelColor(x, channelState().channelTable.channels[3].rowTop + 9);
    EXPECT_NE(selected, background);
    EXPECT_EQ(background, view->viewport()->palette().color(QPalette::Base));
    EXPECT_GT(selected.lightness(), 150);  // light: the text stays readable
}

// Rows not read yet say so instead of showing zeros; rows whose last read failed (here after CANCEL
// on a crate that went silent) keep their values greyed, so they cannot pass for live ones.
TEST_F(ChannelListViewTest, UnreadAndStaleRowsAreMarked) {
    MainWindow w(false);
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ChannelListView* view = w.channelList();
    ChannelListText text;
    buildChannelList(text);
    ASSERT_EQ(text.lines[0].channel, 0);
    EXPECT_EQ(text.lines[0].state, MeasurementState::notRead);
    EXPECT_EQ(shownLineText(text.lines[0]), "U0   not read yet");

    crateSettings().fCmdLine |= kMeasureFromModules;
    pollingTick();  // channel 0
    buildChannelList(text);
    EXPECT_EQ(text.lines[0].state, MeasurementState::read);
    EXPECT_TRUE(shownLineText(text.lines[0]).startsWith("U0   Usense:"))
        << shownLineText(text.lines[0]).toStdString();
    EXPECT_EQ(text.lines[1].state, MeasurementState::notRead);

    auto rowColours = [&](int channel) {
        view->refresh();
        const QImage image = view->viewport()->grab().toImage();
        std::set<QRgb> colours;
        const int top = channelState().channelTable.channels[static_cast<std::size_t>(channel)].rowTop;
        for (int y = top; y < top + 18; ++y)
            for (int x = 0; x < 300; ++x) colours.insert(image.pixel(x, y) & 0xFFFFFF);
        return colours;
    };
    const QRgb textColour = view->palette().color(QPalette::Text).rgb() & 0xFFFFFF;
    EXPECT_TRUE(rowColours(0).count(textColour)) << "a live row in the text colour";

    // U0 goes silent after one more read; the operator gave up waiting for it (CANCEL).
    usbClose();
    useScenario(test::oneBridgeScenario(
        modules(), R"({"kind": "noReply", "channel": 0, "operation": "readShort", "after": 1})"));
    ASSERT_TRUE(usbOpen(linkState().usbInfo));
    bindDirectOperations();
    linkState().commProblem.abort = true;
    for (int i = 0; i < 20; ++i) pollingTick();  // round to channel 0 again
    buildChannelList(text);
    ASSERT_EQ(text.lines[0].state, MeasurementState::read) << "read once more";
    for (int i = 0; i < 20; ++i) pollingTick();
    buildChannelList(text);
    EXPECT_EQ(text.lines[0].state, MeasurementState::failed);
    EXPECT_TRUE(shownLineText(text.lines[0]).startsWith("U0   Usense:")) << "the last values stay";
    EXPECT_FALSE(rowColours(0).count(textColour)) << "but not in the colour of live ones";
}

}  // namespace
}  // namespace vz
