#include "ctrlfw/gui/controller_firmware_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QWindow>

#include "base/crate_binding.h"
#include "base/operator_seam.h"
#include "base/polling_state.h"
#include "link/usb_link.h"
#include "ui_controller_firmware_135.h"

namespace vz {

using namespace ctrldlg;

namespace {
// The message that makes the dialog initialise again.
constexpr int kMsgInitialise = 0x8001;

bool isOperatorInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}
}  // namespace

ControllerFirmwareDialog::ControllerFirmwareDialog(QWidget* parent, const PrgInterface& prg)
    : QDialog(parent), update_(std::make_unique<ControllerUpdate>(prg)) {
    Ui::ControllerFirmware135 ui;
    ui.setupUi(this);
    setWindowTitle(QString::asprintf("[SN %s] Firmware", usbSerial().c_str()));
    log_ = ui.log;
    progress_ = ui.progress;

    // The work thread's texts are posted; the reset on CANCEL runs here and writes at once.
    update_->setLogSink([this](const std::string& text) {
        const QString t = QString::fromStdString(text);
        if (QThread::currentThread() == thread())
            appendLog(t);
        else
            QMetaObject::invokeMethod(
                this, [this, t] { appendLog(t); }, Qt::QueuedConnection);
    });
    update_->setProgressSink([this](UpdateStep step, int done, int total) {
        QMetaObject::invokeMethod(
            this, [this, step, done, total] { showProgress(step, done, total); }, Qt::QueuedConnection);
    });

    connect(ui.browse, &QPushButton::clicked, this, &ControllerFirmwareDialog::browse);
    connect(ui.ok, &QPushButton::clicked, this, &ControllerFirmwareDialog::runSteps);
    connect(ui.cancel, &QPushButton::clicked, this, &ControllerFirmwareDialog::reject);
    for (QCheckBox* box : {ui.eraseFirmware, ui.eraseBootloader, ui.program, ui.verify})
        connect(box, &QCheckBox::toggled, this, &ControllerFirmwareDialog::storeSteps);

    chooseFile = [this](const QString& title, const QString& previous) {
        QFileDialog files(this, title, previous);
        files.setFileMode(QFileDialog::ExistingFile);
        files.setNameFilters({"All (*.*)", "COFF File (*.out)"});
        files.selectNameFilter("COFF File (*.out)");
        return files.exec() == QDialog::Accepted && !files.selectedFiles().isEmpty()
                   ? files.selectedFiles().front()
                   : QString();
    };
    initialise();
}

ControllerFirmwareDialog::~ControllerFirmwareDialog() {
    // Closed by the menu command while working: the transfer stops at its next packet, and the cursor
    // and the other windows' input come back.
    if (working_) {
        update_->cancel();
        endWork();
    }
    qApp->removeEventFilter(this);
}

QWidget* ControllerFirmwareDialog::control(int id) const {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->property("controlId").toInt() == id) return w;
    return nullptr;
}

QString ControllerFirmwareDialog::logText() const {
    return log_->toPlainText();
}

void ControllerFirmwareDialog::initialise() {
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    refreshFields();
}

void ControllerFirmwareDialog::refreshFields() {
    auto setText = [this](int id, const std::string& text) {
        if (auto* edit = qobject_cast<QLineEdit*>(control(id))) edit->setText(QString::fromStdString(text));
    };
    setText(kCurrentFirmware, update_->currentFirmware());
    setText(kCurrentBootloader, update_->currentBootloader());
    setText(kNewFirmware, update_->prepared() ? update_->newImageText() : "Invalid File");
    if (auto* edit = qobject_cast<QLineEdit*>(control(kPath))) edit->setText(path_);
    const ControllerUpdateSteps& steps = controllerUpdateSteps();
    const std::pair<int, bool> boxes[] = {{kEraseFirmware, steps.eraseFirmware},
                                          {kEraseBootloader, steps.eraseBootloader},
                                          {kProgram, steps.program},
                                          {kVerify, steps.verify}};
    for (const auto& [id, on] : boxes)
        if (auto* box = qobject_cast<QAbstractButton*>(control(id))) {
            const QSignalBlocker quiet(box);
            box->setChecked(on);
        }
    control(kOk)->setEnabled(update_->prepared() && !working_);
    control(kBrowse)->setEnabled(!working_);
}

void ControllerFirmwareDialog::storeSteps() {
    auto ticked = [this](int id) {
        auto* box = qobject_cast<QAbstractButton*>(control(id));
        return box && box->isChecked();
    };
    ControllerUpdateSteps& steps = controllerUpdateSteps();
    steps.eraseFirmware = ticked(kEraseFirmware);
    steps.eraseBootloader = ticked(kEraseBootloader);
    steps.program = ticked(kProgram);
    steps.verify = ticked(kVerify);
}

void ControllerFirmwareDialog::appendLog(const QString& text) {
    QString t = text;
    t.replace("\r\n", "\n");
    log_->moveCursor(QTextCursor::End);
    log_->insertPlainText(t);
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void ControllerFirmwareDialog::showProgress(UpdateStep step, int done, int total) {
    static const char* const names[] = {"Erase", "Program", "Verify"};
    progress_->setVisible(true);
    progress_->setMaximum(total > 0 ? total : 1);
    progress_->setValue(done);
    progress_->setFormat(QString("%1 %p%").arg(names[static_cast<int>(step)]));
}

void ControllerFirmwareDialog::startWork(std::function<bool()> job, std::function<void(bool)> done) {
    if (working_) return;
    working_ = true;
    refreshFields();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
    worker_ = std::thread([this, job = std::move(job), done = std::move(done), crate = boundCrate()] {
        const CrateBinding binding(crate);
        const bool ok = job();
        QMetaObject::invokeMethod(
            this,
            [this, ok, done] {
                if (!working_) return;  // CANCEL already ended it
                endWork();
                done(ok);
                refreshFields();
                emit workFinished(ok);
            },
            Qt::QueuedConnection);
    });
}

void ControllerFirmwareDialog::endWork() {
    if (worker_.joinable()) worker_.join();
    working_ = false;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

void ControllerFirmwareDialog::browse() {
    update_->clearCancel();
    startWork([this] { return update_->readDevice(); }, [this](bool) { browseChooseFile(); });
}

void ControllerFirmwareDialog::browseChooseFile() {
    update_->forgetPrepared();
    refreshFields();
    const QString title = QString::asprintf("Device is programmed with \"%s\", select new firmware file",
                                            update_->currentFirmware().c_str());
    // A cancelled choice keeps the file chosen before.
    if (const QString chosen = chooseFile(title, path_); !chosen.isEmpty()) path_ = chosen;
    update_->prepare(path_.toStdString());
    refreshFields();
}

void ControllerFirmwareDialog::runSteps() {
    if (!update_->prepared()) return;
    const ControllerUpdateSteps steps = controllerUpdateSteps();
    // The boxes stay the operator's; only a choice that leaves the controller without a firmware is
    // asked about first.
    if (update_->imageType() == static_cast<int>(FlashImageType::BootLoader) && steps.eraseFirmware &&
        steps.program) {
        const BoxAnswer answer = operatorSeam().messageBox(
            {"Firmware",
             "The chosen file is a boot loader, and \"Erase Fw.\" is checked: the firmware sectors C-J will "
             "be "
             "erased, and the controller will not run until a firmware is programmed.\n\nErase the firmware?",
             BoxButtons::YesNo, BoxIcon::Warning, true});
        if (answer != BoxAnswer::Yes) {
            appendLog(
                "Not started: the firmware stays (clear \"Erase Fw.\" to update only the boot loader)\n");
            return;
        }
    }
    update_->clearCancel();
    startWork([this, steps] { return update_->run(steps); },
              [this](bool ok) {
                  // After a good run the controller runs its flash and the link is configured for module
                  // access: the channel list may show the crate again while the log stays open. After a
                  // failed run, or one after which the controller does not start, polling stays stopped
                  // until CANCEL, so that no problem box covers the dialog the operator repairs it with.
                  if (ok && update_->started().value_or(false)) update_->resumePolling();
              });
}

void ControllerFirmwareDialog::reject() {
    if (working_) {
        // The running transfer stops at its next packet; the run resets the processor itself.
        update_->cancel();
        endWork();
    }
    QDialog::reject();
    update_->reset();
    update_->resumePolling();
}

bool ControllerFirmwareDialog::event(QEvent* e) {
    if (e->type() == static_cast<QEvent::Type>(kMsgInitialise)) {
        initialise();
        return true;
    }
    return QDialog::event(e);
}

bool ControllerFirmwareDialog::eventFilter(QObject* watched, QEvent* e) {
    // While the processor is being worked on, no other window may start a command on the link.
    if (working_ && isOperatorInput(e->type())) {
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* window = qobject_cast<QWindow*>(watched);
        const bool mine = (widget && widget->window() == this) || (window && window == windowHandle());
        if (!mine) return true;
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace vz
