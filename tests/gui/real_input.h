#pragma once
// Input as the window system delivers it: to the native window first, which hands it to the widget
// under the mouse or with the focus. QTest's widget overloads give the event to the widget directly
// and skip that path, so a filter that dropped real clicks would go unnoticed.
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace vz::test {

// How long a GUI test waits for an event it needs: a bound that only a hang reaches, also under
// sanitizers on a busy machine (QTest::qWaitFor returns as soon as the condition holds).
inline constexpr int kHangMs = 50000;

inline void clickThroughWindow(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint at = {}) {
    if (at.isNull()) at = widget->rect().center();
    QTest::mouseClick(widget->window()->windowHandle(), button, {}, widget->mapTo(widget->window(), at));
}

// A key for the focus widget of the widget's window.
inline void keyThroughWindow(QWidget* widget, Qt::Key key) {
    QTest::keyClick(widget->window()->windowHandle(), key);
}

}  // namespace vz::test
