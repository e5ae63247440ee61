#pragma once
// The modeless output calibration dialog: a module's factory data and its calibration, beside the main
// window. It follows the main window's selection and feeds the calibration averages from each repaint.
#include <cstdint>
#include <functional>
#include <memory>

#include "dialogs/gui/channel_dialog.h"
#include "dialogs/gui/widget_controls.h"
#include "dialogs/output_calibration.h"

namespace vz {

class OutputCalibrationDialog : public ChannelDialog {
    Q_OBJECT
  public:
    struct Links {
        // Moves the focus to a control of the output configuration dialog (the wizard's last step).
        std::function<void(int)> focusOutputConfiguration;
        // An exponent changed: the output configuration dialog shows its values anew.
        std::function<void()> exponentsChanged;
        // The module took a new id: the list shows it at its new place.
        std::function<void(int)> channelMoved;
        // The wizard changed what the output configuration dialog shows (the sense mode).
        std::function<void()> outputConfigChanged;
        // Lets time pass while the automatic steps wait for the output to settle; the main window
        // passes one that keeps the program painting (clock().sleepMs when empty).
        std::function<void(int64_t ms)> pause;
    };
    // The form by template; shows channelIndex. Deletes itself when closed.
    OutputCalibrationDialog(QWidget* parent, OutputCalibrationTemplate form, int controllerType,
                            bool expertView, int channelIndex, Links links);
    ~OutputCalibrationDialog() override;

    OutputCalibration& logic() { return *logic_; }

  protected:
    void listRepainted() override;
    void selectionChanged() override;
    void reject() override;  // CANCEL, Escape and the close box

  private:
    void command(int id);

    std::unique_ptr<WidgetControls> controls_;
    std::unique_ptr<OutputCalibration> logic_;
    // The automatic steps take their own samples: the repaints feed none, and the dialog stays open.
    bool measuring_ = false;
};

}  // namespace vz
