#include "app/gui/qt_operator.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdlib>

#include "app/gui/main_window.h"
#include "ui_comm_problem_dialog.h"
#include "ui_usb_select_dialog.h"

namespace vz {

std::string usbChoiceText(const UsbChoice& choice) {
    char text[512];
    std::snprintf(text, sizeof text, "SN %s  - %s %100d", choice.serial.c_str(), choice.description.c_str(),
                  choice.index);
    return text;
}

QtOperator::QtOperator(MainWindow* window) : window_(window) {}

QtOperator::~QtOperator() {
    if (problemDialog_) delete problemDialog_.data();
}

BoxAnswer QtOperator::messageBox(const BoxRequest& box) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (box.icon) {
        case BoxIcon::None: break;
        case BoxIcon::Information: icon = QMessageBox::Information; break;
        case BoxIcon::Question: icon = QMessageBox::Question; break;
        case BoxIcon::Warning: icon = QMessageBox::Warning; break;
        case BoxIcon::Error: icon = QMessageBox::Critical; break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (box.buttons) {
        case BoxButtons::Ok: buttons = QMessageBox::Ok; break;
        case BoxButtons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
        case BoxButtons::RetryCancel: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
        case BoxButtons::AbortRetryIgnore: buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
        case BoxButtons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
    }
    // Windows-1252 texts are shown through a Latin-1 conversion.
    QMessageBox mb(icon, QString::fromLatin1(box.caption.c_str()), QString::fromLatin1(box.text.c_str()), buttons,
                   box.ownedByMainWindow ? window_ : nullptr);
    switch (mb.exec()) {
        case QMessageBox::Ok: return BoxAnswer::Ok;
        case QMessageBox::Retry: return BoxAnswer::Retry;
        case QMessageBox::Abort: return BoxAnswer::Abort;
        case QMessageBox::Ignore: return BoxAnswer::Ignore;
        case QMessageBox::Yes: return BoxAnswer::Yes;
        case QMessageBox::No: return BoxAnswer::No;
        default: return BoxAnswer::Cancel;
    }
}

int QtOperator::chooseUsbDevice(const std::vector<UsbChoice>& devices) {
    QDialog dialog(window_);
    Ui::UsbSelectDialog ui;
    ui.setupUi(&dialog);
    std::vector<std::string> available, inUse;
    for (const auto& d : devices) (d.available ? available : inUse).push_back(usbChoiceText(d));
    std::sort(available.begin(), available.end());
    std::sort(inUse.begin(), inUse.end());
    for (const auto& t : available) ui.available->addItem(QString::fromLatin1(t.c_str()));
    for (const auto& t : inUse) ui.inUse->addItem(QString::fromLatin1(t.c_str()));
    ui.inUse->setStyleSheet("QListWidget { background: palette(button); color: palette(window-text); }");
    ui.available->setCurrentIndex(-1);
    QPushButton* ok = ui.buttons->button(QDialogButtonBox::Ok);
    ok->setProperty("controlId", 1);
    ok->setEnabled(false);
    QObject::connect(ui.available, &QComboBox::currentIndexChanged, ok, [ok] { ok->setEnabled(true); });
    if (window_) {
        dialog.adjustSize();
        const QRect p = window_->frameGeometry();
        dialog.move(std::max(0, p.left() + (p.width() - dialog.width()) / 2),
                    std::max(0, p.top() + (p.height() - dialog.height()) / 2));
    }
    if (dialog.exec() != QDialog::Accepted) return -1;
    const QString text = ui.available->currentText();
    if (text.size() < 3) return -1;
    bool parsed = false;
    const int index = text.right(3).trimmed().toInt(&parsed);
    return parsed ? index : -1;
}

void QtOperator::commProblemOpen(const std::string& caption) {
    if (!problemDialog_) {
        auto* dialog = new QDialog(window_);
        Ui::CommProblemDialog ui;
        ui.setupUi(dialog);
        QObject::connect(ui.cancel, &QPushButton::clicked, this, [this] { cancelPressed_ = true; });
        problemDialog_ = dialog;
    }
    cancelPressed_ = false;
    problemDialog_->setWindowTitle(QString::fromLatin1(caption.c_str()));
    if (window_) problemDialog_->move(window_->mapToGlobal(window_->centralWidget()->pos()));
    problemDialog_->show();
}

bool QtOperator::commProblemPump() {
    pumping_ = true;
    qApp->installEventFilter(this);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    qApp->removeEventFilter(this);
    pumping_ = false;
    const bool cancelled = cancelPressed_;
    cancelPressed_ = false;
    return cancelled;
}

bool QtOperator::eventFilter(QObject* watched, QEvent* event) {
    if (!pumping_ || !problemDialog_) return false;
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::Timer: {
            auto* widget = qobject_cast<QWidget*>(watched);
            const bool forDialog = widget && (widget == problemDialog_ || problemDialog_->isAncestorOf(widget));
            // Everything else waits: no polling tick and no menu command runs inside an exchange.
            return !forDialog;
        }
        default: return false;
    }
}

void QtOperator::commProblemClose() {
    if (problemDialog_) {
        delete problemDialog_.data();
    }
}

void QtOperator::setTitle(const std::string& title) {
    if (window_) window_->setWindowTitle(QString::fromLatin1(title.c_str()));
}

void QtOperator::beep(Beep) { QApplication::beep(); }

void QtOperator::removeMenuCommand(int commandId) {
    if (window_) window_->removeMenuCommand(commandId);
}

void QtOperator::endProcess(int exitCode) { std::exit(exitCode); }

}  // namespace vz
