// The updater worker's messages reach the GUI thread as posted events that own their payload, in the
// order the worker posted them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <string>
#include <thread>
#include <vector>

#include "canfw/gui/updater_event.h"

namespace vz {
namespace {

class Collector : public QObject {
  public:
    std::vector<UpdaterMessage> received;

  protected:
    bool event(QEvent* e) override {
        if (e->type() != UpdaterEvent::eventType()) return QObject::event(e);
        received.push_back(static_cast<UpdaterEvent*>(e)->message());
        return true;
    }
};

TEST(UpdaterEvents, ArriveOnTheGuiThreadInPostingOrderWithTheirPayload) {
    Collector window;
    PostingUpdaterReceiver receiver(&window);
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            const std::string text = "line " + std::to_string(i) + "\r\n";
            receiver.post(UpdaterMessage{kMsgLog, std::vector<uint8_t>(text.begin(), text.end())});
        }
        receiver.post(UpdaterMessage{kMsgRunningType, {2, 0, 0, 0}});
    });
    worker.join();
    // Every event was posted before the join: delivering what is posted is all that is left to do.
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(window.received.size(), 201u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(window.received[i].text(), "line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(window.received.back().kind, kMsgRunningType);
    EXPECT_EQ(window.received.back().value(), 2u);
    EXPECT_GE(UpdaterEvent::eventType(), QEvent::User);
}

}  // namespace
}  // namespace vz
