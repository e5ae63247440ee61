#pragma once
// The modeless controller configuration dialog: the crate controller's network and option settings,
// written as one record on OK when anything changed.
#include <QDialog>
#include <memory>

#include "dialogs/controller_configuration.h"
#include "dialogs/gui/widget_controls.h"

namespace vz {

class ControllerConfigurationDialog : public QDialog {
    Q_OBJECT
  public:
    // Reads the record at once; deletes itself when closed.
    ControllerConfigurationDialog(QWidget* parent, int controllerType, bool expertView);
    ~ControllerConfigurationDialog() override;

    const ControllerConfiguration& logic() const { return *logic_; }

  protected:
    void reject() override;  // CANCEL, Escape and the close box: nothing written

  private:
    void command(int id);
    std::unique_ptr<WidgetControls> controls_;
    std::unique_ptr<ControllerConfiguration> logic_;
};

}  // namespace vz
