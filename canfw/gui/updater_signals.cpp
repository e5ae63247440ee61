#include "canfw/gui/updater_signals.h"

namespace vz {

SignallingUpdaterReceiver::SignallingUpdaterReceiver(QObject* parent) : QObject(parent) {
    qRegisterMetaType<UpdaterMessage>();  // a queued connection copies the message
}

}  // namespace vz
