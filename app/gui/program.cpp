#include "app/gui/program.h"

#include <QApplication>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/core/polling.h"
#include "base/settings.h"
#include "app/gui/arrow_key_filter.h"
#include "app/gui/channel_list_view.h"
#include "base/command_ids.h"
#include "app/gui/main_window.h"
#include "app/gui/qt_operator.h"
#include "app/gui/startup_connection.h"
#include "link/bridge.h"
#include "link/link_capture.h"
#include "link/usb_link.h"

namespace vz {

int runProgram(int argc, char** argv) {
    // Qt takes its own options out of argv; ours are read from an untouched copy.
    std::vector<std::string> args(argv, argv + argc);
    std::vector<const char*> argp;
    for (const auto& a : args) argp.push_back(a.c_str());

    QApplication app(argc, argv);
    startLinkCaptureFromEnvironment();
    QtOperator seam(nullptr);
    setOperatorSeam(&seam);

    if (!parseCommandLine(static_cast<int>(argp.size()), argp.data())) {
        printUsage();
        setOperatorSeam(nullptr);
        return 1;
    }

    MainWindow window((fCmdLine & kExpertView) != 0);
    seam.setWindow(&window);
    window.channelList()->showStartupProgress({}, 0, 0);
    window.show();
    ArrowKeyFilter arrows;
    app.installEventFilter(&arrows);

    std::unique_ptr<BridgeLibrary> library;
    if (!(fCmdLine & kUseCan)) {
        std::string error;
        library = makeBridgeForPort(portName, error);
        if (!library) {
            seam.messageBox({"USB communication", error, BoxButtons::Ok, BoxIcon::Error, true});
            setOperatorSeam(nullptr);
            return 0;
        }
        setBridge(library.get());
    }

    if (!connectShowingProgress(window, fCmdLine)) {
        usbClose();
        setOperatorSeam(nullptr);
        return 0;
    }
    ChannelListView* list = window.channelList();

    QTimer polling;
    QObject::connect(&polling, &QTimer::timeout, &window, [&seam, list] {
        if (seam.pumping()) return;  // inside an exchange that waits for the crate: no second one
        pollingTick();
        list->refresh();
    });
    polling.start(100);

    const int code = app.exec();
    polling.stop();
    if (!(fCmdLine & kUseCan)) usbClose();
    seam.setWindow(nullptr);
    setOperatorSeam(nullptr);
    setBridge(nullptr);
    return code;
}

}  // namespace vz
