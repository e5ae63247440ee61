#pragma once
// The polling cycle's timer: a tick every 100 ms followed by a repaint of the list. It keeps running
// while a trace waits for its module (the trace steps run between ticks), and skips its turn while
// an exchange waits for the crate inside the communication problem dialog.
#include <QObject>
#include <QTimer>
#include <functional>

namespace vz {

class ChannelListView;

class PollingTimer : public QObject {
  public:
    // linkBusy says whether an exchange is running below the current event (the problem dialog's
    // pump): no second exchange may start inside it.
    PollingTimer(ChannelListView* list, std::function<bool()> linkBusy);
    void start(int intervalMs = 100) { timer_.start(intervalMs); }
    void stop() { timer_.stop(); }

  private:
    void tick();
    ChannelListView* list_;
    std::function<bool()> linkBusy_;
    QTimer timer_;
};

}  // namespace vz
