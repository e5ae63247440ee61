#pragma once
// Calls act once, from the event loop (also inside a modal dialog's or a pump's loop), as soon as
// ready() holds: how a person reacts to a window that appears.
#include <QObject>
#include <QTimer>
#include <functional>

namespace vz::test {

class WhenReady : public QObject {
  public:
    WhenReady(std::function<bool()> ready, std::function<void()> act)
        : ready_(std::move(ready)), act_(std::move(act)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (done_ || !ready_()) return;
            done_ = true;
            act_();
        });
        timer_.start(0);
    }
    bool done() const { return done_; }

  private:
    QTimer timer_;
    std::function<bool()> ready_;
    std::function<void()> act_;
    bool done_ = false;
};

}  // namespace vz::test
