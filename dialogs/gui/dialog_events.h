#pragma once
// The two notifications the main window posts to its open channel dialogs, as posted events: they
// arrive after the main window has finished what it was doing, in the order they were posted.
#include <QEvent>

namespace vz {

// The list has drawn new measurements: refresh the status area, leave the edit fields alone.
inline const QEvent::Type kListRepaintedEvent = static_cast<QEvent::Type>(0x8000);
// The selected channel changed, or a setter changed what the dialog shows: re-read and show it.
inline const QEvent::Type kSelectionChangedEvent = static_cast<QEvent::Type>(0x8001);

}  // namespace vz
