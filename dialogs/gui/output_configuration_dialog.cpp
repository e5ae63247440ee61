#include "dialogs/gui/output_configuration_dialog.h"

#include <QCheckBox>
#include <QPushButton>

#include "channel/channel_table.h"
#include "channel/switch_commands.h"
#include "dialogs/gui/dialog_events.h"
#include "ui_output_configuration_131.h"
#include "ui_output_configuration_139.h"

namespace vz {

OutputConfigurationDialog::OutputConfigurationDialog(QWidget* parent, OutputConfigurationTemplate form,
                                                     int controllerType, bool expertView, int channelIndex)
    : ChannelDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    if (form == OutputConfigurationTemplate::full131) {
        Ui::OutputConfiguration131().setupUi(this);
    } else {
        Ui::OutputConfiguration139().setupUi(this);
    }
    controls_ = std::make_unique<WidgetControls>(this);
    logic_ = std::make_unique<OutputConfiguration>(*controls_, controllerType, expertView);

    connectButtonCommands(this, [this](int id) { command(id); });
    logic_->select(channelIndex);
}

OutputConfigurationDialog::~OutputConfigurationDialog() = default;

void OutputConfigurationDialog::command(int id) {
    switch (id) {
        case occ::kOk:
            logic_->applyAndRefresh();
            break;
        case occ::kOn:
            logic_->applyAndSwitch(kSwitchOn);
            break;
        case occ::kOff:
            logic_->applyAndSwitch(kSwitchOff);
            break;
        case occ::kCancel:
            reject();
            break;
        default:
            for (int box : occ::kCheckBoxes)
                if (box == id) logic_->applyAndRefresh();
            break;
    }
}

void OutputConfigurationDialog::reject() {
    QDialog::reject();
    close();
}

void OutputConfigurationDialog::listRepainted() {
    logic_->refreshStatus();
}
void OutputConfigurationDialog::selectionChanged() {
    logic_->select(channelState().selectedChannel);
}

}  // namespace vz
