#include "dialogs/gui/output_calibration_dialog.h"

#include "base/message_boxes.h"
#include "channel/channel_table.h"
#include "channel/measurement_block.h"
#include "configfile/gui/busy_cursor.h"
#include "dialogs/fresh_samples.h"
#include "ui_output_calibration_132.h"
#include "ui_output_calibration_140.h"

namespace vz {

OutputCalibrationDialog::OutputCalibrationDialog(QWidget* parent, OutputCalibrationTemplate form,
                                                 int controllerType, bool expertView, int channelIndex,
                                                 Links links)
    : ChannelDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    if (form == OutputCalibrationTemplate::full132) {
        Ui::OutputCalibration132().setupUi(this);
    } else {
        Ui::OutputCalibration140().setupUi(this);
    }
    controls_ = std::make_unique<WidgetControls>(this);
    OutputCalibrationHooks hooks;
    // The automatic internal-sense steps: nobody presses OK, so the dialog reads ten fresh samples
    // itself, once the output has settled at the new set point.
    hooks.wizard.measureFresh = [this, pause = std::move(links.pause)] {
        const BusyCursor busy;
        const int channel = logic_->channelIndex();
        measuring_ = true;
        const FreshSamples result = measureFreshSamples(
            [channel](MODULE_MEASURE_DATA& m) { return readMeasurementBlock(channel, 0, &m) == 0; },
            logic_->wizard().averages(), kRampSettleLimitMs, pause);
        measuring_ = false;
        if (result == FreshSamples::taken) return true;
        printBox("UInternal not calibrated: %s", freshSamplesText(result));
        return false;
    };
    // A pair that does not fit 16 bits is written clamped, as announced, but the operator must know
    // that the module does not agree with the meter afterwards.
    hooks.wizard.calibrated = [](const CalibrationOutcome& o) {
        if (o.clamped)
            printBox("%s: the computed pair does not fit 16 bits; written clamped as gain %u, offset %d",
                     calQuantityName(o.quantity), o.after.gain, o.after.offset);
    };
    hooks.wizard.focusOutputConfiguration = std::move(links.focusOutputConfiguration);
    hooks.wizard.outputConfigChanged = std::move(links.outputConfigChanged);
    hooks.exponentsChanged = std::move(links.exponentsChanged);
    hooks.channelMoved = std::move(links.channelMoved);
    logic_ = std::make_unique<OutputCalibration>(*controls_, controllerType, expertView, std::move(hooks));

    connectButtonCommands(this, [this](int id) { command(id); });
    logic_->initialise(channelIndex);
}

OutputCalibrationDialog::~OutputCalibrationDialog() = default;

void OutputCalibrationDialog::command(int id) {
    if (id == ocal::kCancel) {
        reject();
        return;
    }
    const BusyCursor busy;
    logic_->command(id);
}

void OutputCalibrationDialog::reject() {
    // Only the window manager's close box reaches the dialog while it measures; the measurement is
    // bounded and ends first.
    if (measuring_) return;
    // Closed in the middle of a wizard: the set points it moved go back as when it is stopped.
    if (logic_->wizard().running()) {
        const BusyCursor busy;
        logic_->wizard().reset();
    }
    QDialog::reject();
    close();
}

void OutputCalibrationDialog::listRepainted() {
    if (!measuring_) logic_->listRepainted();
}
void OutputCalibrationDialog::selectionChanged() {
    logic_->initialise(channelState().selectedChannel);
}

}  // namespace vz
