#include "dialogs/gui/controller_configuration_dialog.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "link/usb_link.h"
#include "ui_controller_configuration_130.h"

namespace vz {

ControllerConfigurationDialog::ControllerConfigurationDialog(QWidget* parent, int controllerType,
                                                             bool expertView)
    : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    Ui::ControllerConfiguration130().setupUi(this);
    controls_ = std::make_unique<WidgetControls>(this);
    logic_ = std::make_unique<ControllerConfiguration>(*controls_, controllerType, expertView);

    // The address fields take dotted addresses only; the MAC words four hex digits.
    const QRegularExpression octet("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    const QRegularExpression address("^" + octet.pattern() + "(\\." + octet.pattern() + "){3}$");
    for (const int id : {ccfg::kIpAddress, ccfg::kSubnetMask, ccfg::kGateway})
        if (auto* edit = qobject_cast<QLineEdit*>(controls_->widget(id)))
            edit->setValidator(new QRegularExpressionValidator(address, edit));
    for (const int id : {ccfg::kMacHigh, ccfg::kMacMiddle, ccfg::kMacLow})
        if (auto* edit = qobject_cast<QLineEdit*>(controls_->widget(id)))
            edit->setValidator(
                new QRegularExpressionValidator(QRegularExpression("^[0-9A-Fa-f]{1,4}$"), edit));

    connectButtonCommands(this, [this](int id) { command(id); });
    controls_->setCaption("[SN " + usbSerial() + "] Configuration");
    logic_->open();
}

ControllerConfigurationDialog::~ControllerConfigurationDialog() = default;

void ControllerConfigurationDialog::command(int id) {
    switch (id) {
        case ccfg::kOk:
            logic_->ok();
            close();
            break;
        case ccfg::kCancel:
            reject();
            break;
        case ccfg::kAutoNegotiation:
            logic_->autoNegotiationClicked();
            break;
        default:
            break;
    }
}

void ControllerConfigurationDialog::reject() {
    QDialog::reject();
    close();
}

}  // namespace vz
