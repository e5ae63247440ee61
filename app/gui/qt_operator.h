#pragma once
// The operator seam answered with Qt: message boxes, the device-selection dialog, the modeless
// communication problem dialog, the title and the beep. Callable from any thread: widgets live on
// the GUI thread, so calls from another thread are handed to it. Questions (boxes, the device choice)
// wait for their answer; everything else is posted and returns at once, because the caller may hold
// linkLock while the GUI thread waits for it.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

#include "base/operator_seam.h"

namespace vz {

class MainWindow;

class QtOperator final : public QObject, public OperatorSeam {
    Q_OBJECT
  public:
    explicit QtOperator(MainWindow* window);
    ~QtOperator() override;

    BoxAnswer messageBox(const BoxRequest& box) override;
    int chooseUsbDevice(const std::vector<UsbChoice>& devices) override;
    void commProblemOpen(const std::string& caption) override;
    bool commProblemPump() override;
    void commProblemClose() override;
    void setTitle(const std::string& title) override;
    void beep(Beep kind) override;
    void removeMenuCommand(int commandId) override;
    [[noreturn]] void endProcess(int exitCode) override;

    void setWindow(MainWindow* window) { window_ = window; }
    QDialog* commProblemDialog() const { return problemDialog_.data(); }

    // True while the problem dialog is pumped from inside an exchange: the polling tick must not
    // start another exchange then.
    bool pumping() const { return pumping_; }

  private:
    // Room the title bar needs besides the caption's text: icon, close and other buttons.
    static constexpr int kTitleBarExtraPx = 110;
    void openProblemDialog(const std::string& caption, bool modal);
    void placeProblemDialog();
    bool onGuiThread() const;
    void post(std::function<void()> call);

    MainWindow* window_;
    QPointer<QDialog> problemDialog_;
    std::atomic<bool> cancelPressed_{false};
    bool pumping_ = false;
};

// The entry text of the device-selection dialog: "SN <serial>  - <description>".
std::string usbChoiceText(const UsbChoice& choice);

}  // namespace vz
