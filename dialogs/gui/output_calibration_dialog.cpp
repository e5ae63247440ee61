#include "dialogs/gui/output_calibration_dialog.h"

#include "app/core/polling.h"
#include "channel/channel_table.h"
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
    // itself, a second after the set point moved.
    hooks.wizard.measureFresh = [this] {
        const BusyCursor busy;
        const int channel = logic_->channelIndex();
        measureFreshSamples(
            [channel](MODULE_MEASURE_DATA& m) { return readMeasurementBlock(channel, 0, &m) == 0; },
            logic_->wizard().averages());
    };
    hooks.wizard.focusOutputConfiguration = std::move(links.focusOutputConfiguration);
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
    QDialog::reject();
    close();
}

void OutputCalibrationDialog::listRepainted() {
    logic_->listRepainted();
}
void OutputCalibrationDialog::selectionChanged() {
    logic_->initialise(selectedChannel);
}

}  // namespace vz
