#pragma once
// The updater worker's messages as posted Qt events: the event owns its message, so the payload
// lives exactly as long as the event, and events arrive in the order they were posted.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include "canfw/updater_messages.h"

namespace vz {

class UpdaterEvent final : public QEvent {
  public:
    static QEvent::Type eventType();
    explicit UpdaterEvent(UpdaterMessage message) : QEvent(eventType()), message_(std::move(message)) {}
    const UpdaterMessage& message() const { return message_; }

  private:
    UpdaterMessage message_;
};

// Posts each message to a window (the update dialog) from the worker thread, never waiting for it.
// The window must outlive the worker: the dialog closes its updater before it goes.
class PostingUpdaterReceiver final : public UpdaterReceiver {
  public:
    explicit PostingUpdaterReceiver(QObject* window) : window_(window) {}
    void post(UpdaterMessage message) override;

  private:
    QObject* window_;
};

}  // namespace vz
