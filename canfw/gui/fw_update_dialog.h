#pragma once
// The firmware-update-via-CAN dialog: finds the modules behind the controller, shows the versions and
// the running firmware of the selected one, decides from that and the chosen file's kind which
// actions are allowed, and hands each action to its updater worker as a job. The worker reports
// through a queued signal; a progress bar follows programming and backups.
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "canfw/gui/dlg_base.h"
#include "canfw/gui/updater_signals.h"
#include "canfw/updater_worker.h"

class QPlainTextEdit;
class QComboBox;
class QProgressBar;

namespace vz {

namespace fwdlg {
constexpr int kTemplate = 1155;
constexpr int kLog = 1136;
constexpr int kModules = 1139;
constexpr int kFileType = 1141;
constexpr int kProgram = 1143;
constexpr int kBrowse = 1144;
constexpr int kPath = 1145;
constexpr int kSearch = 1146;
constexpr int kBootVersion = 1147;
constexpr int kRunningType = 1148;
constexpr int kRestoreEe = 1149;
constexpr int kBackup = 1150;
constexpr int kRestorePm = 1151;
constexpr int kAppVersion = 1154;
constexpr int kStart = 1155;
constexpr int kPrepare = 1156;
constexpr int kChecksOffIcon = 1158;
constexpr int kOptions = 1159;
constexpr int kPreserveConfig = 1160;
constexpr int kExtendedParameters = 1161;
constexpr int kProgress = 1162;
constexpr int kLogLimit = 64000;
}  // namespace fwdlg

class CFwUpdateDlg : public CDlgBase {
    Q_OBJECT
  public:
    explicit CFwUpdateDlg(QWidget* parent);
    ~CFwUpdateDlg() override;  // stops the worker and takes the messages it posted

    void onInitDialog();

    // What the dialog asks the operator; tests answer instead.
    std::function<QString(const QString& title, const QString& directory, const QString& filter)>
        chooseOpenFile;
    std::function<QString(const QString& title, const QString& proposed, const QString& filter)>
        chooseSaveFile;
    std::function<bool(const QString& title, const QString& text)> confirm;

    // Read by tests and by the worker's messages.
    int fileType() const { return fileType_; }
    int runningType() const { return runningType_; }
    bool checksOff() const { return checksOff_; }
    int logLength() const { return logLength_; }
    const DeviceInfo& selectedDevice() const { return selectedDevice_; }
    // A job is queued or runs, or the dialog waits for a restarted module to answer.
    bool jobRunning() { return (updater_ && updater_->queuedJobs() != 0) || restartChecks_ > 0; }
    // The firmware file, as Browse or a drop would set it.
    void setFirmwarePath(const QString& path);
    // Where the worker's messages enter the dialog (queued onto the GUI thread).
    UpdaterReceiver& updaterReceiver() { return *receiver_; }

  protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void reject() override;  // Escape, Cancel and the close box

  private:
    void onWorkerMessage(const UpdaterMessage& message);
    void onDropFiles(const QStringList& files);
    void onMiddleButtonUp(Qt::KeyboardModifiers modifiers, QPoint position);
    void closeWorker();
    void onSearch();
    void onSelect();
    void onBrowse();
    void onProgram();
    void onBackup();
    void onRestore(int memoryType);
    void onPrepare();
    void onStart();

    void classifyFile(const std::string& path);
    void updateControls(bool disableAll);
    bool downloadAllowed();
    bool prepareAllowed();
    bool startAllowed();
    void appendLog(const std::string& text);
    void logLine(const std::string& text);
    void addModule(const DeviceInfo& device);
    void showChecksOff(bool on);
    void updateJobState();  // progress bar and Backup, on the timer
    // Stops the job in progress at its next safe point and names the module's state in the log.
    void stopJob();
    void drainPosted();

    std::unique_ptr<CWorkerUpdateDlg> updater_;
    std::unique_ptr<SignallingUpdaterReceiver> receiver_;
    std::string path_;
    int fileType_ = 0;
    DeviceInfo selectedDevice_;
    int runningType_ = 0;
    bool checksOff_ = false;
    bool versionSeen_ = false;
    int logLength_ = 0;
    int pendingSelections_ = 0;
    // After a firmware start the module does not answer for a while: the running type is asked again
    // this many times before "unknown" stands.
    int restartChecks_ = 0;
    std::string stopNote_;  // what a stop of the last queued job means for the module
    void readRunningTypeAfterStart();
    QTimer jobTimer_;
    QPlainTextEdit* log_ = nullptr;
    QComboBox* modules_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

// Runs the dialog modally from the main window's menu.
void openCanUpdateDialog(QWidget* parent);

}  // namespace vz
