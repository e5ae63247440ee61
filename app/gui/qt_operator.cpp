#include "app/gui/qt_operator.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <cstdlib>

#include "app/gui/input_gate.h"
#include "app/gui/main_window.h"
#include "configfile/gui/busy_cursor.h"
#include "ui_comm_problem_dialog.h"
#include "ui_usb_select_dialog.h"

namespace vz {

std::string usbChoiceText(const UsbChoice& choice) {
    return "SN " + choice.serial + "  - " + choice.description;
}

QtOperator::QtOperator(MainWindow* window) : window_(window) {}

QtOperator::~QtOperator() {
    if (problemDialog_) delete problemDialog_.data();
}

bool QtOperator::onGuiThread() const {
    return QThread::currentThread() == thread();
}

void QtOperator::post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

BoxAnswer QtOperator::messageBox(const BoxRequest& box) {
    if (!onGuiThread()) {
        // A question needs its answer: the calling thread waits for the GUI thread.
        BoxAnswer answer = BoxAnswer::Cancel;
        QMetaObject::invokeMethod(
            this, [&] { answer = messageBox(box); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (box.icon) {
        case BoxIcon::None:
            break;
        case BoxIcon::Information:
            icon = QMessageBox::Information;
            break;
        case BoxIcon::Question:
            icon = QMessageBox::Question;
            break;
        case BoxIcon::Warning:
            icon = QMessageBox::Warning;
            break;
        case BoxIcon::Error:
            icon = QMessageBox::Critical;
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (box.buttons) {
        case BoxButtons::Ok:
            buttons = QMessageBox::Ok;
            break;
        case BoxButtons::OkCancel:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case BoxButtons::RetryCancel:
            buttons = QMessageBox::Retry | QMessageBox::Cancel;
            break;
        case BoxButtons::AbortRetryIgnore:
            buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
            break;
        case BoxButtons::YesNo:
            buttons = QMessageBox::Yes | QMessageBox::No;
            break;
    }
    // Windows-1252 texts are shown through a Latin-1 conversion.
    // Boxes and dialogs are answered with the ordinary arrow, also while the window is busy.
    const OverrideCursor arrow(Qt::ArrowCursor);
    QMessageBox mb(icon, QString::fromLatin1(box.caption.c_str()), QString::fromLatin1(box.text.c_str()),
                   buttons, box.ownedByMainWindow ? window_ : nullptr);
    switch (mb.exec()) {
        case QMessageBox::Ok:
            return BoxAnswer::Ok;
        case QMessageBox::Retry:
            return BoxAnswer::Retry;
        case QMessageBox::Abort:
            return BoxAnswer::Abort;
        case QMessageBox::Ignore:
            return BoxAnswer::Ignore;
        case QMessageBox::Yes:
            return BoxAnswer::Yes;
        case QMessageBox::No:
            return BoxAnswer::No;
        default:
            return BoxAnswer::Cancel;
    }
}

int QtOperator::chooseUsbDevice(const std::vector<UsbChoice>& devices) {
    if (!onGuiThread()) {
        int chosen = -1;
        QMetaObject::invokeMethod(
            this, [&] { chosen = chooseUsbDevice(devices); }, Qt::BlockingQueuedConnection);
        return chosen;
    }
    // Boxes and dialogs are answered with the ordinary arrow, also while the window is busy.
    const OverrideCursor arrow(Qt::ArrowCursor);
    QDialog dialog(window_);
    Ui::UsbSelectDialog ui;
    ui.setupUi(&dialog);
    // Each list is sorted by its text; the record index travels with the entry, unseen.
    auto fill = [](QListWidget* list, const std::vector<const UsbChoice*>& entries) {
        for (const UsbChoice* d : entries) {
            auto* item = new QListWidgetItem(QString::fromLatin1(usbChoiceText(*d).c_str()), list);
            item->setData(Qt::UserRole, d->index);
        }
        list->sortItems();
    };
    std::vector<const UsbChoice*> available, inUse;
    for (const auto& d : devices) (d.available ? available : inUse).push_back(&d);
    fill(ui.available, available);
    fill(ui.inUse, inUse);
    ui.inUse->setStyleSheet("QListWidget { background: palette(button); color: palette(window-text); }");
    QPushButton* ok = ui.buttons->button(QDialogButtonBox::Ok);
    ok->setProperty("controlId", 1);
    ok->setEnabled(false);
    QObject::connect(ui.available, &QListWidget::currentRowChanged, ok,
                     [ok](int row) { ok->setEnabled(row >= 0); });
    QObject::connect(ui.available, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    if (window_) {
        dialog.adjustSize();
        const QRect p = window_->frameGeometry();
        dialog.move(std::max(0, p.left() + (p.width() - dialog.width()) / 2),
                    std::max(0, p.top() + (p.height() - dialog.height()) / 2));
    }
    if (dialog.exec() != QDialog::Accepted) return -1;
    const QListWidgetItem* item = ui.available->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void QtOperator::commProblemOpen(const std::string& caption) {
    if (!onGuiThread()) {
        // The exchange that calls holds linkLock: never wait for the GUI thread from there. The GUI
        // thread's own loop runs the dialog then, beside the worker's window.
        post([this, caption] { openProblemDialog(caption, false); });
        return;
    }
    // Pumped from inside an exchange on this thread: the dialog is then the only way out, so it must
    // take input whatever other dialog (a box, a progress, a modal dialog) is open.
    openProblemDialog(caption, true);
}

void QtOperator::openProblemDialog(const std::string& caption, bool modal) {
    if (!problemDialog_) {
        auto* dialog = new QDialog(window_);
        Ui::CommProblemDialog ui;
        ui.setupUi(dialog);
        // CANCEL, Escape and the window's close button all mean: stop waiting for the crate.
        QObject::connect(ui.cancel, &QPushButton::clicked, this, [this] { cancelPressed_ = true; });
        QObject::connect(dialog, &QDialog::rejected, this, [this] { cancelPressed_ = true; });
        ui.cancel->setDefault(true);
        ui.cancel->setFocus();
        problemDialog_ = dialog;
    }
    cancelPressed_ = false;
    const QString title = QString::fromLatin1(caption.c_str());
    problemDialog_->setWindowTitle(title);
    if (!problemDialog_->isVisible())
        problemDialog_->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    // Wide enough for the whole caption beside the title bar's icon and buttons.
    problemDialog_->adjustSize();
    const int captionWidth = problemDialog_->fontMetrics().horizontalAdvance(title) + kTitleBarExtraPx;
    if (problemDialog_->width() < captionWidth)
        problemDialog_->resize(captionWidth, problemDialog_->height());
    placeProblemDialog();
    problemDialog_->show();
    // A window manager may place a new window by its own rule: put it back below the menu.
    placeProblemDialog();
}

void QtOperator::placeProblemDialog() {
    // At the top-left corner of the list, below the menu bar, which stays visible.
    if (!window_ || !problemDialog_) return;
    const QWidget* list = window_->centralWidget();
    problemDialog_->move(list ? list->mapToGlobal(QPoint(0, 0)) : window_->mapToGlobal(QPoint(0, 0)));
}

bool QtOperator::commProblemPump() {
    // On another thread the GUI thread's own loop runs the dialog; CANCEL only needs to be read.
    if (!onGuiThread()) return cancelPressed_.exchange(false);
    pumping_ = true;
    {
        // Only the dialog takes input now: a click on the list or a menu would start another exchange
        // inside this one. Timers run; the polling tick checks pumping() and waits for its next turn.
        const QPointer<QDialog> dialog = problemDialog_;
        const InputGate gate([dialog](const QWidget* window) { return !dialog || window != dialog.data(); });
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    pumping_ = false;
    return cancelPressed_.exchange(false);
}

void QtOperator::commProblemClose() {
    if (!onGuiThread()) {
        post([this] { commProblemClose(); });
        return;
    }
    if (problemDialog_) {
        delete problemDialog_.data();
    }
}

void QtOperator::setTitle(const std::string& title) {
    if (!onGuiThread()) {
        post([this, title] { setTitle(title); });
        return;
    }
    if (window_) window_->setWindowTitle(QString::fromLatin1(title.c_str()));
}

void QtOperator::beep(Beep kind) {
    if (!onGuiThread()) {
        post([this, kind] { beep(kind); });
        return;
    }
    QApplication::beep();
}

void QtOperator::removeMenuCommand(int commandId) {
    if (!onGuiThread()) {
        post([this, commandId] { removeMenuCommand(commandId); });
        return;
    }
    if (window_) window_->removeMenuCommand(commandId);
}

void QtOperator::endProcess(int exitCode) {
    std::exit(exitCode);
}

}  // namespace vz
