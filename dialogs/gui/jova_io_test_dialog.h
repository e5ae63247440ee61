#pragma once
// The modeless JOVA I/O test dialog: opened for a JOVA board on a QX308 where other channels get the
// output configuration dialog.
#include <memory>

#include "dialogs/gui/channel_dialog.h"

#include "dialogs/gui/widget_controls.h"
#include "dialogs/jova_io_test.h"

namespace vz {

class JovaIoTestDialog : public ChannelDialog {
    Q_OBJECT
  public:
    JovaIoTestDialog(QWidget* parent, bool expertView, int channelIndex);  // deletes itself when closed
    ~JovaIoTestDialog() override;

    const JovaIoTest& logic() const { return *logic_; }

  protected:
    void listRepainted() override;
    void selectionChanged() override;
    void reject() override;  // CANCEL, Escape, the close box: the test is switched off first

  private:
    void command(int id);
    std::unique_ptr<WidgetControls> controls_;
    std::unique_ptr<JovaIoTest> logic_;
};

}  // namespace vz
