#pragma once
// The modeless JOVA I/O test dialog: opened for a JOVA board on a QX308 where other channels get the
// output configuration dialog.
#include <QDialog>
#include <memory>

#include "dialogs/gui/widget_controls.h"
#include "dialogs/jova_io_test.h"

namespace vz {

class JovaIoTestDialog : public QDialog {
    Q_OBJECT
  public:
    JovaIoTestDialog(QWidget* parent, bool expertView, int channelIndex);  // deletes itself when closed
    ~JovaIoTestDialog() override;

    const JovaIoTest& logic() const { return *logic_; }

  protected:
    bool event(QEvent* event) override;
    void reject() override;  // CANCEL, Escape, the close box: the test is switched off first

  private:
    void command(int id);
    std::unique_ptr<WidgetControls> controls_;
    std::unique_ptr<JovaIoTest> logic_;
};

}  // namespace vz
