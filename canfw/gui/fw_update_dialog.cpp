#include "canfw/gui/fw_update_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <cstring>

#include "base/clock.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "canfw/device_table.h"
#include "canfw/log_text.h"
#include "canfw/update_rules.h"
#include "link/usb_link.h"
#include "ui_fw_update_1155.h"

namespace vz {
namespace {

// The directories of the last firmware and backup files chosen, kept for the run of the program.
QString& firmwareDirectory() {
    static QString directory;
    return directory;
}
QString& backupDirectory() {
    static QString directory;
    return directory;
}

// The log window's length as the module reports it: every line end counts as CR LF.
int windowsLength(const QString& text) {
    return static_cast<int>(text.size() + text.count('\n'));
}

QString moduleText(const DeviceInfo& d) {
    return QString::asprintf("%5d  -  %s", d.iModuleId,
                             std::string(d.name, strnlen(d.name, sizeof d.name)).c_str());
}

}  // namespace

CFwUpdateDlg::CFwUpdateDlg(QWidget* parent) : CDlgBase(parent, fwdlg::kTemplate) {
    Ui::FwUpdate1155().setupUi(this);
    selectedDevice_.iModuleId = -1;
    log_ = qobject_cast<QPlainTextEdit*>(control(fwdlg::kLog));
    modules_ = qobject_cast<QComboBox*>(control(fwdlg::kModules));
    progress_ = qobject_cast<QProgressBar*>(control(fwdlg::kProgress));
    if (auto* icon = qobject_cast<QLabel*>(control(fwdlg::kChecksOffIcon)))
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(28, 28));

    chooseOpenFile = [this](const QString& title, const QString& directory, const QString& filter) {
        return QFileDialog::getOpenFileName(this, title, directory, filter);
    };
    chooseSaveFile = [this](const QString& title, const QString& proposed, const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, proposed, filter);
    };
    confirm = [this](const QString& title, const QString& text) {
        return QMessageBox::warning(this, title, text, QMessageBox::Ok | QMessageBox::Cancel) ==
               QMessageBox::Ok;
    };

    onCommand(fwdlg::kSearch, [this] { onSearch(); });
    onCommand(fwdlg::kModules, [this] { onSelect(); });
    onCommand(fwdlg::kBrowse, [this] { onBrowse(); });
    onCommand(fwdlg::kProgram, [this] { onProgram(); });
    onCommand(fwdlg::kBackup, [this] { onBackup(); });
    onCommand(fwdlg::kRestoreEe, [this] { onRestore(kEepromMemory); });
    onCommand(fwdlg::kRestorePm, [this] { onRestore(kProgramMemory); });
    onCommand(fwdlg::kPrepare, [this] { onPrepare(); });
    onCommand(fwdlg::kStart, [this] { onStart(); });

    connect(&jobTimer_, &QTimer::timeout, this, [this] { updateJobState(); });
    onInitDialog();
}

CFwUpdateDlg::~CFwUpdateDlg() {
    closeWorker();
}

void CFwUpdateDlg::onInitDialog() {
    setWindowTitle(QString::fromStdString("[SN " + usbSerial() + "] Firmware-Update via CAN"));
    setAcceptDrops(true);
    if (auto* check = qobject_cast<QAbstractButton*>(control(fwdlg::kPreserveConfig))) {
        check->setEnabled(true);
        check->setChecked(!crateSettings().overwriteSystemConfig);
    }
    if (auto* check = qobject_cast<QAbstractButton*>(control(fwdlg::kExtendedParameters))) {
        check->setEnabled(false);
        check->setChecked(true);
    }
    if (parentWidget()) move(parentWidget()->window()->geometry().center() - rect().center());
    updater_ = std::make_unique<CWorkerUpdateDlg>();
    receiver_ = std::make_unique<SignallingUpdaterReceiver>();
    connect(receiver_.get(), &SignallingUpdaterReceiver::posted, this, &CFwUpdateDlg::onWorkerMessage,
            Qt::QueuedConnection);
    updater_->startWorker(*receiver_);
    jobTimer_.start(100);
}

void CFwUpdateDlg::closeWorker() {
    jobTimer_.stop();
    if (!updater_) return;
    updater_->closeUpdater();
    drainPosted();
    updater_.reset();  // polling reads the channels again
}

void CFwUpdateDlg::drainPosted() {
    // The worker has ended: what it posted is still queued for us (as queued calls) and is handled now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CFwUpdateDlg::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && e->mimeData()->urls().first().isLocalFile()) e->acceptProposedAction();
}

void CFwUpdateDlg::dropEvent(QDropEvent* e) {
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    if (files.isEmpty()) return;
    onDropFiles(files);
    e->acceptProposedAction();
}

void CFwUpdateDlg::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::MiddleButton) {
        onMiddleButtonUp(e->modifiers(), e->position().toPoint());
    }
    CDlgBase::mouseReleaseEvent(e);
}

void CFwUpdateDlg::reject() {
    if (jobRunning()) {
        if (!confirm("Stop the job?",
                     "A job is running on the module. Stop it at its next safe point?\n"
                     "The log then tells what the module runs."))
            return;
        stopJob();
        return;  // the dialog stays open so that the log can be read; closing again leaves
    }
    CDlgBase::reject();
}

void CFwUpdateDlg::stopJob() {
    const int module = selectedDevice_.iModuleId;
    restartChecks_ = 0;
    updater_->closeUpdater();  // the job ends between two rows or reads; queued jobs are dropped
    drainPosted();
    logLine("Job stopped by the operator.\r\n");
    updater_->startWorker(*receiver_);
    if (module >= 0) {
        // Ask the module what it runs now; the answer arrives as the running type and in the log.
        runningType_ = 0;
        updater_->queueReadRunningType(module);
        QElapsedTimer waited;
        waited.start();
        while (updater_->queuedJobs() != 0 && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        drainPosted();
        logLine(formatText(kLineLimit, "U%d now runs: %s%s\r\n", module, firmwareTypeName(runningType_),
                           stopNote_.c_str()));
    }
    updateJobState();
}

void CFwUpdateDlg::onWorkerMessage(const UpdaterMessage& m) {
    const int kind = m.kind;
    switch (kind) {
        case kMsgLog:
            appendLog(m.text());
            break;
        case kMsgDeviceFound:
            if (m.data.size() == sizeof(DeviceInfo)) {
                DeviceInfo d;
                std::memcpy(&d, m.data.data(), sizeof d);
                addModule(d);
            }
            break;
        case kMsgBootVersion:
        case kMsgAppVersion: {
            const int id = kind == kMsgBootVersion ? fwdlg::kBootVersion : fwdlg::kAppVersion;
            setText(id, m.text().c_str());
            if (pendingSelections_ > 0) --pendingSelections_;
            if (pendingSelections_ == 0) enable(id, true);
            versionSeen_ = true;
            break;
        }
        case kMsgProgrammed:
            enable(fwdlg::kProgram, false);
            showChecksOff(false);
            break;
        case kMsgVersionOrStart:
            enable(fwdlg::kPrepare, false);
            showChecksOff(false);
            break;
        case kMsgRunningType:
            if (m.value() == 0 && restartChecks_ > 0) {
                // The module is still restarting: ask again shortly instead of showing "unsupported".
                QTimer::singleShot(100, this, [this] {
                    if (!updater_ || restartChecks_ <= 0) return;
                    --restartChecks_;
                    updater_->queueReadRunningType(selectedDevice_.iModuleId);
                });
                break;
            }
            if (restartChecks_ > 0 && selectedDevice_.iModuleId >= 0) {
                // The module answers again after a start: show the versions it holds now. Their
                // messages disable Prepare, so the running type is read once more after them and
                // the buttons end as the last decision in the log says.
                updater_->queueReadVersion(selectedDevice_.iModuleId, false);
                updater_->queueReadVersion(selectedDevice_.iModuleId, true);
                updater_->queueReadRunningType(selectedDevice_.iModuleId);
            }
            restartChecks_ = 0;
            runningType_ = static_cast<int>(m.value());
            setText(fwdlg::kRunningType, firmwareTypeName(runningType_));
            updateControls(false);
            break;
        case kMsgStarted:
            enable(fwdlg::kStart, m.value() != 0);
            break;
        default:
            break;
    }
    updateJobState();
}

void CFwUpdateDlg::addModule(const DeviceInfo& device) {
    const QString text = moduleText(device);
    const QByteArray bytes(reinterpret_cast<const char*>(&device), sizeof device);
    for (int i = 0; i < modules_->count(); ++i)
        if (modules_->itemText(i).startsWith(text)) {
            modules_->setItemData(i, bytes);
            return;
        }
    // Sorted by text; the padded module number sorts the modules by number.
    int at = 0;
    while (at < modules_->count() && modules_->itemText(at) < text) ++at;
    const QSignalBlocker quiet(modules_);  // adding is no selection by the operator
    modules_->insertItem(at, text, bytes);
    if (modules_->count() == 1) modules_->setCurrentIndex(-1);
}

void CFwUpdateDlg::onSearch() {
    {
        const QSignalBlocker quiet(modules_);
        modules_->clear();
    }
    updater_->queueIdentifyAll();
}

void CFwUpdateDlg::onSelect() {
    const QByteArray bytes = modules_->currentData().toByteArray();
    if (bytes.size() != sizeof(DeviceInfo)) return;
    std::memcpy(&selectedDevice_, bytes.constData(), sizeof selectedDevice_);
    if (selectedDevice_.iModuleId < 0) return;
    updater_->queueReadVersion(selectedDevice_.iModuleId, false);
    updater_->queueReadVersion(selectedDevice_.iModuleId, true);
    updater_->queueReadRunningType(selectedDevice_.iModuleId);
    enable(fwdlg::kBootVersion, false);
    enable(fwdlg::kAppVersion, false);
    ++pendingSelections_;
    if (!path_.empty())
        updateControls(false);
    else
        enable(fwdlg::kProgram, false);
}

void CFwUpdateDlg::onBrowse() {
    if (!path_.empty()) firmwareDirectory() = QFileInfo(QString::fromStdString(path_)).absolutePath();
    const QString chosen = chooseOpenFile("Select new firmware file", firmwareDirectory(),
                                          "Firmware File (*.hex);;All Files (*.*)");
    if (chosen.isEmpty() || !QFileInfo(chosen).isFile()) return;
    setFirmwarePath(chosen);
}

void CFwUpdateDlg::setFirmwarePath(const QString& path) {
    path_ = path.toStdString();
    firmwareDirectory() = QFileInfo(path).absolutePath();
    setText(fwdlg::kPath, path_);
    classifyFile(path_);
}

void CFwUpdateDlg::onDropFiles(const QStringList& list) {
    if (list.isEmpty()) return;
    // The same rule as Browse: only an existing regular file (a pipe or a device would hold the reader).
    if (!QFileInfo(list.first()).isFile()) {
        logLine(formatText(kLineLimit, "Not a regular file, ignored: '%s'\r\n",
                           list.first().toStdString().c_str()));
        return;
    }
    setFirmwarePath(list.first());
}

void CFwUpdateDlg::classifyFile(const std::string& path) {
    fileType_ = firmwareKindByName(path);
    setText(fwdlg::kFileType, firmwareTypeName(fileType_));
    if (selectedDevice_.iModuleId >= 0 && !path.empty())
        updateControls(false);
    else
        enable(fwdlg::kProgram, false);
}

bool CFwUpdateDlg::downloadAllowed() {
    const bool allowed = downloadAllowedFor(runningType_, fileType_, checksOff_);
    if (!checksOff_)
        logLine(formatText(kLineLimit, "Download '%s' (iFwType=%d, iDeviceFwType=%d)\r\n",
                           allowed ? "allowed" : "prohibited", fileType_, runningType_));
    return allowed;
}

bool CFwUpdateDlg::prepareAllowed() {
    const bool allowed = prepareAllowedFor(runningType_, fileType_, checksOff_);
    if (!checksOff_)
        logLine(formatText(kLineLimit, "Prepare '%s' (iFwType=%d, iDeviceFwType=%d)\r\n",
                           allowed ? "allowed" : "prohibited", fileType_, runningType_));
    return allowed;
}

bool CFwUpdateDlg::startAllowed() {
    return startAllowedFor(runningType_, versionSeen_);
}

void CFwUpdateDlg::updateControls(bool disableAll) {
    enable(fwdlg::kProgram, !disableAll && downloadAllowed());
    enable(fwdlg::kPrepare, !disableAll && prepareAllowed());
    enable(fwdlg::kStart, !disableAll && startAllowed());
}

void CFwUpdateDlg::onProgram() {
    if (selectedDevice_.iModuleId < 0 || path_.empty()) return;  // the checks off allow more
    updater_->queueProgram(selectedDevice_, kProgramMemory, path_, fileType_ == 1,
                           !ticked(fwdlg::kPreserveConfig), checksOff_);
    stopNote_ =
        "; a stopped programming run leaves the firmware incomplete: program it again before starting it";
    // Read the running type afterwards: the buttons then follow what the module really runs.
    readRunningTypeAfterStart();
    updateControls(true);
    if (auto* check = qobject_cast<QAbstractButton*>(control(fwdlg::kPreserveConfig)))
        check->setChecked(!crateSettings().overwriteSystemConfig);
    updateJobState();
}

void CFwUpdateDlg::readRunningTypeAfterStart() {
    restartChecks_ = 20;
    updater_->queueReadRunningType(selectedDevice_.iModuleId);
}

void CFwUpdateDlg::onPrepare() {
    if (selectedDevice_.iModuleId < 0) return;  // with the checks off the buttons allow more
    updater_->queueStartFirmware(selectedDevice_.iModuleId, true);
    readRunningTypeAfterStart();
    updateControls(true);
}

void CFwUpdateDlg::onStart() {
    if (selectedDevice_.iModuleId < 0) return;  // with the checks off the buttons allow more
    updater_->queueStartFirmware(selectedDevice_.iModuleId, false);
    readRunningTypeAfterStart();
    updateControls(true);
}

void CFwUpdateDlg::onBackup() {
    if (selectedDevice_.iModuleId < 0) return;
    if (backupDirectory().isEmpty()) backupDirectory() = firmwareDirectory();
    QString directory = backupDirectory().isEmpty() ? QDir::currentPath() : backupDirectory();
    if (!directory.endsWith('/')) directory += '/';
    const std::string proposed = proposedBackupName(directory.toStdString(), selectedDevice_.iModuleId,
                                                    selectedDevice_.family, clock().localWallUs());
    const QString chosen = chooseSaveFile("Save Backup as ..", QString::fromStdString(proposed),
                                          "Backup File (*.bex);;All Files (*.*)");
    if (chosen.isEmpty()) return;
    backupDirectory() = QFileInfo(chosen).absolutePath();
    // The backup reads through the boot loader; an application is stopped for it and the log says so.
    if (runningType_ != 1) {
        logLine(formatText(kLineLimit, "Starting the boot loader of U%d for the backup\r\n",
                           selectedDevice_.iModuleId));
        updater_->queueStartFirmware(selectedDevice_.iModuleId, true);
    }
    const bool applicationRan = runningType_ == 2;
    if (updater_->queueBackup(selectedDevice_, chosen.toStdString())) enable(fwdlg::kBackup, false);
    // A backup changes nothing on the module: what ran before runs again afterwards.
    if (applicationRan) updater_->queueStartFirmware(selectedDevice_.iModuleId, false);
    stopNote_ = "; a stopped backup writes no file and leaves the module's memory unchanged";
    readRunningTypeAfterStart();
    updateControls(true);
    updateJobState();
}

void CFwUpdateDlg::onRestore(int memoryType) {
    if (selectedDevice_.iModuleId < 0) return;
    if (backupDirectory().isEmpty()) backupDirectory() = firmwareDirectory();
    const QString chosen =
        chooseOpenFile("Select a backup file", backupDirectory(), "Backup File (*.bex);;All Files (*.*)");
    if (chosen.isEmpty()) return;
    backupDirectory() = QFileInfo(chosen).absolutePath();
    if (updater_->queueProgram(selectedDevice_, memoryType, chosen.toStdString(), false, false, false,
                               true)) {
        enable(fwdlg::kRestoreEe, false);
        enable(fwdlg::kRestorePm, false);
    }
}

void CFwUpdateDlg::onMiddleButtonUp(Qt::KeyboardModifiers keys, QPoint at) {
    QWidget* field = control(fwdlg::kRunningType);
    if (!field || !field->geometry().contains(field->parentWidget()->mapFrom(this, at))) return;
    if (!checksOff_ && keys == Qt::ControlModifier &&
        confirm("Warning", "Do you want to disable file and device check?\nThis could brick the module.")) {
        showChecksOff(true);
        updateControls(false);
        return;
    }
    showChecksOff(false);
}

void CFwUpdateDlg::showChecksOff(bool on) {
    checksOff_ = on;
    if (QWidget* icon = control(fwdlg::kChecksOffIcon)) icon->setVisible(on);
}

void CFwUpdateDlg::appendLog(const std::string& text) {
    log_->setUpdatesEnabled(false);
    if (logLength_ > fwdlg::kLogLimit) {
        QTextCursor first(log_->document()->firstBlock());
        first.select(QTextCursor::BlockUnderCursor);
        first.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);  // and its line end
        first.removeSelectedText();
        logLength_ = windowsLength(log_->toPlainText());
    }
    // The worker's lines end in CR LF; the window keeps LF only, the count keeps both.
    QString qtext = QString::fromStdString(text);
    qtext.remove('\r');
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(qtext);
    logLength_ += static_cast<int>(text.size());
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
    log_->setUpdatesEnabled(true);
}

void CFwUpdateDlg::logLine(const std::string& text) {
    // The verdicts go through the same queue as the worker's lines, so they keep their order.
    receiver_->post(UpdaterMessage{kMsgLog, std::vector<uint8_t>(text.begin(), text.end())});
}

void CFwUpdateDlg::updateJobState() {
    const bool running = jobRunning();
    const int done = updater_->progress().done, total = updater_->progress().total;
    if (running && total > 0) {
        progress_->setMaximum(total);
        progress_->setValue(std::min(done, total));
        progress_->setFormat(QString("%v of %m rows"));
        progress_->setVisible(true);
    } else if (!running) {
        progress_->setVisible(false);
    }
    // A backup only reads the module: it is offered whenever a module is selected and nothing runs.
    enable(fwdlg::kBackup, !running && selectedDevice_.iModuleId >= 0);
}

void openCanUpdateDialog(QWidget* parent) {
    CFwUpdateDlg dialog(parent);
    dialog.exec();
}

}  // namespace vz
