#include "app/gui/arrow_key_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "app/core/channel_selection.h"

namespace vz {

bool ArrowKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // A key release reaches the filter once per widget it propagates through; react at the first.
    if (event->type() != QEvent::KeyRelease || !watched->isWidgetType() || QApplication::activeModalWidget())
        return false;
    QWidget* focus = QApplication::focusWidget();
    const bool firstReceiver = focus ? watched == focus : static_cast<QWidget*>(watched)->isWindow();
    if (firstReceiver) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            if (key->key() == Qt::Key_Left) stepChannel(-1, selectionChanged_);
            if (key->key() == Qt::Key_Right) stepChannel(+1, selectionChanged_);
        }
    }
    return false;  // the message goes on normally
}

}  // namespace vz
