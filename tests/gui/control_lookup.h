#pragma once
// GUI tests address widgets as the dialogs define them: by their control id.
#include <QWidget>

namespace vz::test {

// The widget of type T with a given control id inside a dialog; nullptr when there is none.
template <typename T>
T* control(QWidget* dialog, int id) {
    for (T* w : dialog->findChildren<T*>())
        if (w->property("controlId").toInt() == id) return w;
    return nullptr;
}

}  // namespace vz::test
