#include "app/gui/program.h"

#include <QApplication>
#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/core/crate.h"
#include "app/core/crate_session.h"
#include "app/core/polling.h"
#include "app/gui/arrow_key_filter.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/main_window.h"
#include "app/gui/polling_timer.h"
#include "app/gui/qt_operator.h"
#include "app/gui/startup_connection.h"
#include "base/settings.h"
#include "link/link_capture.h"
#include "virtual_bridge/bridge_for_port.h"

namespace vz {

int runProgram(int argc, char** argv) {
    // Qt takes its own options out of argv; ours are read from an untouched copy.
    std::vector<std::string> args(argv, argv + argc);
    std::vector<const char*> argp;
    for (const auto& a : args) argp.push_back(a.c_str());

    QApplication app(argc, argv);
    const BoundCrate crate;  // the one crate of this run, on the GUI thread
    startLinkCaptureFromEnvironment();
    QtOperator seam(nullptr);
    const ScopedOperatorSeam seamInstalled(seam);

    if (!parseCommandLine(static_cast<int>(argp.size()), argp.data())) {
        printUsage();
        return 1;
    }

    MainWindow window((crateSettings().fCmdLine & kExpertView) != 0);
    seam.setWindow(&window);
    struct ForgetWindow {
        QtOperator& seam;
        ~ForgetWindow() { seam.setWindow(nullptr); }
    } forgetWindow{seam};
    window.channelList()->showStartupProgress({}, 0, 0);
    window.show();
    ArrowKeyFilter arrows([&window] { window.channelSelected(); });
    app.installEventFilter(&arrows);

    CrateSession session(crateSettings().fCmdLine, makeBridgeForPort);
    if (!session.attached()) {
        seam.messageBox({"USB communication", session.error(), BoxButtons::Ok, BoxIcon::Error, true});
        return 0;
    }
    const bool connected =
        connectShowingProgress(window, (crateSettings().fCmdLine & kExpertView) != 0,
                               [&session](const ConnectionProgressFn& progress) {
                                   return session.connect(crateSettings().fCmdLine, progress);
                               });
    if (!connected) return 0;
    ChannelListView* list = window.channelList();

    PollingTimer polling(list, [&seam] { return seam.pumping(); });
    polling.start();
    return app.exec();
}

}  // namespace vz
