#include "app/gui/event_loop_pause.h"

#include <QCoreApplication>
#include <QWidget>
#include <algorithm>

#include "app/gui/input_gate.h"
#include "base/clock.h"

namespace vz {

namespace {
// The longest the loop stands still within a pause.
constexpr int64_t kSliceMs = 5;
}  // namespace

void pauseKeepingEventLoop(int64_t ms) {
    const InputGate gate([](const QWidget* window) { return !window || !window->isModal(); });
    const int64_t end = clock().nowMs() + ms;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const int64_t left = end - clock().nowMs();
        if (left <= 0) return;
        clock().sleepMs(std::min(left, kSliceMs));
    }
}

}  // namespace vz
