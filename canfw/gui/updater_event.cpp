#include "canfw/gui/updater_event.h"

#include <memory>

namespace vz {

QEvent::Type UpdaterEvent::eventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostingUpdaterReceiver::post(UpdaterMessage message) {
    // Qt takes the event over and deletes it after delivery.
    QCoreApplication::postEvent(window_, std::make_unique<UpdaterEvent>(std::move(message)).release());
}

}  // namespace vz
