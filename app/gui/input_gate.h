#pragma once
// Drops operator input (keys, mouse, wheel, shortcuts, context menus) aimed at windows that must
// not act on it now. Dropped, not deferred: a digit typed into a window that could not yet show the
// list must never switch an output later.
#include <QObject>
#include <functional>

class QWidget;

namespace vz {

class InputGate : public QObject {
  public:
    // blocks(window) says whether input for that top-level window is dropped; window is nullptr
    // for input that no window owns.
    explicit InputGate(std::function<bool(const QWidget* window)> blocks);
    ~InputGate() override;

    // The top-level widget an event for this receiver is meant for: the receiver's own window, the
    // widget of a native window, or the window of the nearest widget among its parents.
    static QWidget* targetWindow(QObject* receiver);
    static bool isOperatorInput(const QEvent* event);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<bool(const QWidget*)> blocks_;
};

}  // namespace vz
