#include "canfw/gui/dlg_base.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

namespace vz {

QWidget* CDlgBase::control(int id) const {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->property("controlId").toInt() == id) return w;
    return nullptr;
}

void CDlgBase::onCommand(int id, std::function<void()> handler) {
    QWidget* w = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        connect(button, &QAbstractButton::clicked, this, [handler] { handler(); });
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        connect(combo, &QComboBox::currentIndexChanged, this, [handler] { handler(); });
}

void CDlgBase::enable(int id, bool on) const {
    if (QWidget* w = control(id)) w->setEnabled(on);
}

void CDlgBase::setText(int id, const std::string& text) const {
    if (auto* edit = qobject_cast<QLineEdit*>(control(id))) edit->setText(QString::fromStdString(text));
}

bool CDlgBase::ticked(int id) const {
    auto* check = qobject_cast<QAbstractButton*>(control(id));
    return check && check->isChecked();
}

}  // namespace vz
