#include "dialogs/gui/jova_io_test_dialog.h"

#include <QAbstractButton>

#include "channel/channel_table.h"
#include "dialogs/gui/dialog_events.h"
#include "ui_jova_io_test_1156.h"

namespace vz {

JovaIoTestDialog::JovaIoTestDialog(QWidget* parent, bool expertView, int channelIndex)
    : ChannelDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    Ui::JovaIoTest1156().setupUi(this);
    controls_ = std::make_unique<WidgetControls>(this);
    logic_ = std::make_unique<JovaIoTest>(*controls_, expertView);
    connectButtonCommands(this, [this](int id) { command(id); });
    logic_->select(channelIndex);
}

JovaIoTestDialog::~JovaIoTestDialog() = default;

void JovaIoTestDialog::command(int id) {
    switch (id) {
        case jova::kInputTest:
            logic_->inputTest();
            break;
        case jova::kOutputTest:
            logic_->outputTest();
            break;
        case jova::kTestOff:
            logic_->testOff();
            break;
        case jova::kCancel:
            reject();
            break;
        default:
            if (id >= jova::pinControl(0, 0) && id <= jova::pinControl(jova::kPinPositions, 0))
                logic_->pinClicked();
            break;
    }
}

void JovaIoTestDialog::reject() {
    logic_->cancel();
    QDialog::reject();
    close();
}

void JovaIoTestDialog::listRepainted() {
    logic_->refreshPinState();
}
void JovaIoTestDialog::selectionChanged() {
    logic_->select(channelState().selectedChannel);
}

}  // namespace vz
