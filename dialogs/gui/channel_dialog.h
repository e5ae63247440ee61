#pragma once
// A modeless dialog that shows the selected channel: it hears of new measurements and of a new
// selection through the main window's posted events, and says what each means to it.
#include <QDialog>

namespace vz {

class ChannelDialog : public QDialog {
    Q_OBJECT
  public:
    using QDialog::QDialog;

  protected:
    bool event(QEvent* event) override;
    // The list has drawn new measurements: refresh what shows them, leave edit fields alone.
    virtual void listRepainted() = 0;
    // The selected channel changed (or what the dialog shows did): show it anew.
    virtual void selectionChanged() = 0;
};

}  // namespace vz
