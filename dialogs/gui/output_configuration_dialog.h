#pragma once
// The modeless output configuration dialog: one channel's settings beside the main window. It
// follows the main window's selection and refreshes its status area after each repaint of the list.
#include <memory>

#include "dialogs/gui/channel_dialog.h"

#include "dialogs/gui/widget_controls.h"
#include "dialogs/output_configuration.h"

namespace vz {

class OutputConfigurationDialog : public ChannelDialog {
    Q_OBJECT
  public:
    // The form by template; shows channelIndex. Deletes itself when closed.
    OutputConfigurationDialog(QWidget* parent, OutputConfigurationTemplate form, int controllerType,
                              bool expertView, int channelIndex);
    ~OutputConfigurationDialog() override;

    const OutputConfiguration& logic() const { return *logic_; }

  protected:
    void listRepainted() override;
    void selectionChanged() override;
    void reject() override;  // CANCEL, Escape and the close box: gone, unapplied edits dropped

  private:
    void command(int id);

    std::unique_ptr<WidgetControls> controls_;
    std::unique_ptr<OutputConfiguration> logic_;
};

}  // namespace vz
