#include "dialogs/gui/dvm_window.h"

#include "channel/channel_table.h"
#include "channel/status_texts.h"
#include "dialogs/gui/dialog_events.h"
#include "link/usb_link.h"
#include "ui_dvm_136.h"

namespace vz {

DvmWindow::DvmWindow(QWidget* parent) : ChannelDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    Ui::Dvm136().setupUi(this);
    controls_ = std::make_unique<WidgetControls>(this);
    showSelected(true);
}

DvmWindow::~DvmWindow() = default;

void DvmWindow::showSelected(bool caption) {
    if (caption && channelState().selectedChannel >= 0) {
        char text[96];
        std::snprintf(text, sizeof text, "[SN %s] U%d Output", usbSerial().c_str(),
                      channelState().selectedChannel);
        controls_->setCaption(text);
    }
    if (channelState().selectedChannel < 0) return;
    // The window has no state line and no error list; the routine leaves what it lacks alone.
    if (const auto texts = showChannelStatus(static_cast<unsigned>(channelState().selectedChannel)))
        for (const auto& [id, text] : texts->byControl()) controls_->setText(id, text);
}

void DvmWindow::listRepainted() {
    showSelected(false);
}
void DvmWindow::selectionChanged() {
    showSelected(true);
}

}  // namespace vz
