#include "dialogs/gui/channel_dialog.h"

#include "dialogs/gui/dialog_events.h"

namespace vz {

bool ChannelDialog::event(QEvent* event) {
    if (event->type() == kListRepaintedEvent) {
        listRepainted();
        return true;
    }
    if (event->type() == kSelectionChangedEvent) {
        selectionChanged();
        return true;
    }
    return QDialog::event(event);
}

}  // namespace vz
