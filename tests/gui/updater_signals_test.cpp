// The updater worker's messages reach the GUI thread through a queued signal, each a copy that owns
// its payload, in the order the worker posted them.
#include "canfw/gui/updater_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <string>
#include <thread>
#include <vector>

namespace vz {
namespace {

TEST(UpdaterSignals, ArriveOnTheGuiThreadInPostingOrderWithTheirPayload) {
    QObject window;
    SignallingUpdaterReceiver receiver;
    std::vector<UpdaterMessage> received;
    bool onGuiThread = true;
    QObject::connect(
        &receiver, &SignallingUpdaterReceiver::posted, &window,
        [&](const UpdaterMessage& m) {
            onGuiThread = onGuiThread && QThread::currentThread() == window.thread();
            received.push_back(m);
        },
        Qt::QueuedConnection);
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            const std::string text = "line " + std::to_string(i) + "\r\n";
            receiver.post(UpdaterMessage{kMsgLog, std::vector<uint8_t>(text.begin(), text.end())});
        }
        receiver.post(UpdaterMessage{kMsgRunningType, {2, 0, 0, 0}});
    });
    worker.join();
    EXPECT_TRUE(received.empty());  // nothing is delivered on the worker thread
    // Every message was posted before the join: delivering what is posted is all that is left to do.
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(received.size(), 201u);
    EXPECT_TRUE(onGuiThread);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(received[i].text(), "line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(received.back().kind, kMsgRunningType);
    EXPECT_EQ(received.back().value(), 2u);
}

}  // namespace
}  // namespace vz
