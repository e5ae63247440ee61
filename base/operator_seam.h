#pragma once
// The one way the core reaches the operator: message boxes, the USB device choice, the
// communication problem dialog, the window title and the beep. The program answers with Qt,
// vzctl without a window, tests with scripted answers.
#include <string>
#include <vector>

namespace vz {

enum class BoxButtons { Ok, OkCancel, RetryCancel, AbortRetryIgnore, YesNo };
enum class BoxIcon { None, Information, Question, Warning, Error };
enum class BoxAnswer { Ok, Cancel, Retry, Abort, Ignore, Yes, No };
enum class Beep { Error, Exclamation };

struct BoxRequest {
    std::string caption;
    std::string text;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::Information;
    bool ownedByMainWindow = true;  // false: a box without owner (usage, debug log)
};

// One entry of the USB device-selection dialog.
struct UsbChoice {
    int index;  // record index
    bool available;
    std::string serial;
    std::string description;
};

class OperatorSeam {
public:
    virtual ~OperatorSeam() = default;
    virtual BoxAnswer messageBox(const BoxRequest& box) = 0;
    // The device-selection dialog; returns the chosen record index, or -1 when cancelled.
    virtual int chooseUsbDevice(const std::vector<UsbChoice>& devices) = 0;
    // The modeless communication problem dialog.
    virtual void commProblemOpen(const std::string& caption) = 0;
    // Processes the dialog's own events only; true when CANCEL was pressed since the last call.
    virtual bool commProblemPump() = 0;
    virtual void commProblemClose() = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void beep(Beep kind) = 0;
    // Removes a command from the main window's menu (controller-type adjustments).
    virtual void removeMenuCommand(int commandId) = 0;
    // Ends the process with an exit code (device choice cancelled); never returns.
    [[noreturn]] virtual void endProcess(int exitCode) = 0;
};

// Answers without a window: OK/Cancel/Abort as documented, message text to standard error. The
// communication problem dialog is answered with CANCEL as soon as it would open (after the silent
// retries), so a script never waits on a crate that does not answer.
class HeadlessOperator : public OperatorSeam {
public:
    BoxAnswer messageBox(const BoxRequest& box) override;
    int chooseUsbDevice(const std::vector<UsbChoice>& devices) override;
    void commProblemOpen(const std::string& caption) override;
    bool commProblemPump() override { return true; }
    void commProblemClose() override {}
    void setTitle(const std::string& title) override { title_ = title; }
    void beep(Beep) override {}
    void removeMenuCommand(int) override {}
    [[noreturn]] void endProcess(int exitCode) override;
    const std::string& title() const { return title_; }

private:
    std::string title_;
};

OperatorSeam& operatorSeam();
void setOperatorSeam(OperatorSeam* seam);  // nullptr restores the headless operator

// Installs a seam for as long as it lives, then the one that was there before.
class ScopedOperatorSeam {
public:
    explicit ScopedOperatorSeam(OperatorSeam& seam) : previous_(&operatorSeam()) { setOperatorSeam(&seam); }
    ~ScopedOperatorSeam() { setOperatorSeam(previous_); }
    ScopedOperatorSeam(const ScopedOperatorSeam&) = delete;
    ScopedOperatorSeam& operator=(const ScopedOperatorSeam&) = delete;

private:
    OperatorSeam* previous_;
};

}  // namespace vz
