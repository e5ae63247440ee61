#include "app/gui/startup_connection.h"

#include <QApplication>

#include "app/gui/channel_list_view.h"
#include "app/gui/input_gate.h"
#include "app/gui/main_window.h"
#include "base/settings.h"
#include "configfile/gui/busy_cursor.h"

namespace vz {

bool connectShowingProgress(MainWindow& window, bool expertView,
                            const std::function<bool(const ConnectionProgressFn&)>& connect) {
    ChannelListView* list = window.channelList();
    list->showStartupProgress({}, 0, 0);
    bool connected;
    {
        // A digit or click given now must not switch anything later: dropped, not queued. The
        // dialogs of the connection sequence (device choice, questions) are other windows and work.
        const InputGate gate([&window](const QWidget* target) { return target == &window; });
        const OverrideCursor busy(Qt::BusyCursor);
        QCoreApplication::processEvents();  // paint the window before the first exchange
        connected = connect([list](const ConnectionProgress& p) {
            list->showStartupProgress(QString::fromStdString(p.text), p.step, p.steps);
            QCoreApplication::processEvents();
        });
        // Input that arrived during the last exchange is still queued: let the gate drop it.
        QCoreApplication::processEvents();
    }
    if (!connected || !window.isVisible()) return false;
    window.adjustMenuForController(crateSettings().controllerType, expertView);
    list->setLive();
    return true;
}

}  // namespace vz
