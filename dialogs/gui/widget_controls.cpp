#include "dialogs/gui/widget_controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

namespace vz {

namespace {

QString fromText(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

WidgetControls::WidgetControls(QWidget* dialog) : dialog_(dialog) {
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const QVariant id = w->property("controlId");
        if (id.isValid()) controls_[id.toInt()] = w;
    }
}

QWidget* WidgetControls::widget(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second.data();
}

std::optional<std::string> WidgetControls::text(int id) const {
    QWidget* w = widget(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    return std::nullopt;
}

void WidgetControls::setText(int id, const std::string& text) {
    QWidget* w = widget(id);
    if (w) shown_[id] = text;
    const QString t = fromText(text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != t) e->setText(t);  // an unchanged text keeps the caret and selection
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        if (p->toPlainText() != t) p->setPlainText(t);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(t);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(t);
    }
}

void WidgetControls::appendText(int id, const std::string& text) {
    if (auto* p = qobject_cast<QPlainTextEdit*>(widget(id))) {
        QTextCursor cursor = p->textCursor();
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(fromText(text));  // CR LF makes one line break
        p->setTextCursor(cursor);
    } else if (auto* e = qobject_cast<QLineEdit*>(widget(id))) {
        e->end(false);
        e->insert(fromText(text));
    }
    if (const std::optional<std::string> now = this->text(id)) shown_[id] = *now;
}

bool WidgetControls::edited(int id) const {
    const auto shown = shown_.find(id);
    return shown == shown_.end() || text(id) != shown->second;
}

int WidgetControls::comboCount(int id) const {
    auto* c = qobject_cast<QComboBox*>(widget(id));
    return c ? c->count() : -1;
}

void WidgetControls::addComboItem(int id, const std::string& text) {
    if (auto* c = qobject_cast<QComboBox*>(widget(id))) c->addItem(fromText(text));
}

int WidgetControls::comboIndex(int id) const {
    auto* c = qobject_cast<QComboBox*>(widget(id));
    return c ? c->currentIndex() : -1;
}

void WidgetControls::setComboIndex(int id, int index) {
    if (auto* c = qobject_cast<QComboBox*>(widget(id))) c->setCurrentIndex(index);
}

CheckState WidgetControls::checkState(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(widget(id));
    if (!b || !b->isCheckable()) return CheckState::unchecked;
    if (auto* box = qobject_cast<QCheckBox*>(b); box && box->checkState() == Qt::PartiallyChecked)
        return CheckState::indeterminate;
    return b->isChecked() ? CheckState::checked : CheckState::unchecked;
}

void WidgetControls::setCheckState(int id, CheckState state) {
    auto* b = qobject_cast<QAbstractButton*>(widget(id));
    if (!b) return;
    if (auto* box = qobject_cast<QCheckBox*>(b)) {
        box->setCheckState(state == CheckState::checked         ? Qt::Checked
                           : state == CheckState::indeterminate ? Qt::PartiallyChecked
                                                                : Qt::Unchecked);
    } else {
        b->setChecked(state == CheckState::checked);
    }
}

void WidgetControls::setEnabled(int id, bool enabled) {
    if (QWidget* w = widget(id)) w->setEnabled(enabled);
}

bool WidgetControls::setVisible(int id, bool visible) {
    QWidget* w = widget(id);
    if (!w) return false;
    const bool before = !w->isHidden();
    w->setVisible(visible);
    return before;
}

void WidgetControls::setReadOnly(int id, bool readOnly) {
    if (auto* e = qobject_cast<QLineEdit*>(widget(id))) e->setReadOnly(readOnly);
    if (auto* p = qobject_cast<QPlainTextEdit*>(widget(id))) p->setReadOnly(readOnly);
    // A read-only check box shows its bit and takes no click: it neither toggles nor sends a command.
    if (auto* box = qobject_cast<QCheckBox*>(widget(id))) {
        box->setAttribute(Qt::WA_TransparentForMouseEvents, readOnly);
        box->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::StrongFocus);
    }
}

void WidgetControls::requestFocus(int id) {
    QPointer<QWidget> w = widget(id);
    if (!w) return;
    // The operator is asked for a new value there: the old one is selected, to be typed over.
    QTimer::singleShot(0, w, [w] {
        if (!w) return;
        w->setFocus(Qt::OtherFocusReason);
        if (auto* e = qobject_cast<QLineEdit*>(w.data())) e->selectAll();
    });
}

void WidgetControls::setCaption(const std::string& caption) {
    dialog_->setWindowTitle(fromText(caption));
}

void WidgetControls::selectFocusedText() {
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != dialog_->window()) return;
    if (auto* e = qobject_cast<QLineEdit*>(focus)) e->selectAll();
}

void connectButtonCommands(QWidget* dialog, const std::function<void(int)>& command) {
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
        const QVariant id = b->property("controlId");
        if (!id.isValid()) continue;
        const int controlId = id.toInt();
        QObject::connect(b, &QAbstractButton::clicked, dialog, [command, controlId] { command(controlId); });
    }
}

}  // namespace vz
