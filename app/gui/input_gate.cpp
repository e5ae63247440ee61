#include "app/gui/input_gate.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace vz {

InputGate::InputGate(std::function<bool(const QWidget*)> blocks) : blocks_(std::move(blocks)) {
    qApp->installEventFilter(this);
}

InputGate::~InputGate() {
    qApp->removeEventFilter(this);
}

bool InputGate::isOperatorInput(const QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}

QWidget* InputGate::targetWindow(QObject* receiver) {
    for (QObject* o = receiver; o; o = o->parent()) {
        if (auto* widget = qobject_cast<QWidget*>(o)) return widget->window();
        // Real input reaches a widget's native window first, before the widget itself.
        if (auto* window = qobject_cast<QWindow*>(o)) {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->windowHandle() == window) return top;
            return nullptr;
        }
    }
    return nullptr;
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
    if (!isOperatorInput(event)) return false;
    return blocks_(targetWindow(watched));
}

}  // namespace vz
