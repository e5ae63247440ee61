#pragma once
// The left and right arrow keys step the selected channel when they are released, in any window
// of the program that is not inside a modal dialog.
#include <QObject>

namespace vz {

class ArrowKeyFilter : public QObject {
    Q_OBJECT
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace vz
