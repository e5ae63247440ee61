#pragma once
// The left and right arrow keys step the selected channel when they are released, in any window
// of the program that is not inside a modal dialog.
#include <QObject>
#include <functional>

namespace vz {

class ArrowKeyFilter : public QObject {
    Q_OBJECT
  public:
    // selectionChanged is told after a key changed the selection (the main window's dialogs follow).
    explicit ArrowKeyFilter(std::function<void()> selectionChanged)
        : selectionChanged_(std::move(selectionChanged)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void()> selectionChanged_;
};

}  // namespace vz
