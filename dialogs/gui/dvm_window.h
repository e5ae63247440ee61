#pragma once
// The modeless measurement window ("&DVM"): the selected channel's measured values, refreshed after
// each repaint of the list and when the selection changes.
#include <memory>

#include "dialogs/gui/channel_dialog.h"

#include "dialogs/gui/widget_controls.h"

namespace vz {

class DvmWindow : public ChannelDialog {
    Q_OBJECT
  public:
    explicit DvmWindow(QWidget* parent);  // deletes itself when closed
    ~DvmWindow() override;

  protected:
    void listRepainted() override;
    void selectionChanged() override;

  private:
    void showSelected(bool caption);
    std::unique_ptr<WidgetControls> controls_;
};

}  // namespace vz
