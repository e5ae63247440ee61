#pragma once
// The updater worker's messages as a Qt signal: the worker thread posts, and a queued connection
// hands each message (a copy that owns its payload) to the window on the GUI thread, in the order
// the worker posted them.
#include <QObject>

#include "canfw/updater_messages.h"

Q_DECLARE_METATYPE(vz::UpdaterMessage)

namespace vz {

class SignallingUpdaterReceiver final : public QObject, public UpdaterReceiver {
    Q_OBJECT
  public:
    explicit SignallingUpdaterReceiver(QObject* parent = nullptr);
    // Called on the worker thread; never waits for the GUI thread.
    void post(UpdaterMessage message) override { emit posted(std::move(message)); }

  signals:
    void posted(vz::UpdaterMessage message);
};

}  // namespace vz
