#pragma once
// The controller firmware dialog: reads the processor's identity and versions, prepares a chosen
// COFF image and erases, programs and verifies the flash. The work runs on a thread of its own so the
// dialog keeps painting its log and progress; meanwhile input for other windows is dropped, and
// polling stays stopped from the first connect until the processor was reset.
#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "ctrlfw/controller_update.h"

class QPlainTextEdit;
class QProgressBar;

namespace vz {

namespace ctrldlg {
constexpr int kTemplate = 135;
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kCurrentFirmware = 1092;
constexpr int kNewFirmware = 1094;
constexpr int kCurrentBootloader = 1095;
constexpr int kBrowse = 1103;
constexpr int kLog = 1105;
constexpr int kProgram = 1121;
constexpr int kVerify = 1122;
constexpr int kEraseBootloader = 1127;
constexpr int kEraseFirmware = 1128;
constexpr int kPath = 1145;
}  // namespace ctrldlg

class ControllerFirmwareDialog : public QDialog {
    Q_OBJECT
  public:
    ControllerFirmwareDialog(QWidget* parent, const PrgInterface& prg);
    ~ControllerFirmwareDialog() override;  // stops and waits for running work

    // The operator's file choice (title, the path chosen before); tests answer instead.
    std::function<QString(const QString& title, const QString& previous)> chooseFile;

    bool working() const { return working_; }
    ControllerUpdate& update() { return *update_; }
    QString logText() const;

  signals:
    void workFinished(bool ok);

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void reject() override;  // CANCEL, Escape and the close box

  private:
    void initialise();
    void refreshFields();
    void browse();
    void browseChooseFile();
    void runSteps();
    void appendLog(const QString& text);
    void showProgress(UpdateStep step, int done, int total);
    void startWork(std::function<bool()> job, std::function<void(bool)> done);
    void endWork();
    void storeSteps();
    QWidget* control(int id) const;

    std::unique_ptr<ControllerUpdate> update_;
    std::thread worker_;
    std::atomic<bool> working_{false};
    QString path_;
    QPlainTextEdit* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace vz
