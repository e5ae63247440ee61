#pragma once
// A small dialog base with a message map and a command map: every input the dialog reacts to (a
// control's command, a worker message, dropped files, a middle-button release, the end of the dialog)
// becomes one message with two words, and each message number and control id has exactly one handler.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <map>

namespace vz {

// The message numbers the dialogs dispatch.
enum DialogMessage : int {
    kMsgCommand = 0x0111,    // wParam: control id
    kMsgDestroy = 0x0002,    // the dialog ends
    kMsgDropFiles = 0x0233,  // lParam: const QStringList* of local files
    kMsgMiddleButtonUp =
        0x0208,           // wParam: Qt keyboard modifiers, lParam: const QPoint* in dialog coordinates
    kMsgWorker = 0x8001,  // wParam: message kind, lParam: const UpdaterMessage*
};

class CDlgBase : public QDialog {
    Q_OBJECT
  public:
    using Handler = std::function<intptr_t(uintptr_t wParam, intptr_t lParam)>;

    CDlgBase(QWidget* parent, int templateId) : QDialog(parent), templateId_(templateId) {}
    ~CDlgBase() override = default;

    // The message-map handler of the message and, for a command, the command-map handler of its
    // control id; the result of the last handler called, 0 when none or when a handler threw.
    virtual intptr_t handleMessage(int message, uintptr_t wParam, intptr_t lParam);
    virtual void onInitDialog() {}
    int templateId() const { return templateId_; }

  protected:
    // Every push button, check box and combo box with a control id sends its command; a combo box
    // only when its selection changes.
    void connectCommands();

    std::map<int, Handler> messageMap_;
    std::map<int, Handler> commandMap_;

  private:
    int templateId_;
};

}  // namespace vz
