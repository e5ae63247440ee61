#include "canfw/gui/dlg_base.h"

#include <QAbstractButton>
#include <QComboBox>

namespace vz {

intptr_t CDlgBase::handleMessage(int message, uintptr_t wParam, intptr_t lParam) {
    intptr_t result = 0;
    try {
        if (auto it = messageMap_.find(message); it != messageMap_.end()) result = it->second(wParam, lParam);
        if (message == kMsgCommand)
            if (auto it = commandMap_.find(static_cast<int>(wParam & 0xFFFF)); it != commandMap_.end())
                result = it->second(wParam, lParam);
    } catch (...) {
        // A failing handler must not take the dialog (and its worker) down with it.
        result = 0;
    }
    return result;
}

void CDlgBase::connectCommands() {
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        const int id = b->property("controlId").toInt();
        if (id <= 0) continue;
        connect(b, &QAbstractButton::clicked, this, [this, id] { handleMessage(kMsgCommand, id, 0); });
    }
    for (QComboBox* c : findChildren<QComboBox*>()) {
        const int id = c->property("controlId").toInt();
        if (id <= 0) continue;
        connect(c, &QComboBox::currentIndexChanged, this, [this, id] { handleMessage(kMsgCommand, id, 0); });
    }
}

}  // namespace vz
