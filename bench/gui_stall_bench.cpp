// The longest time the GUI thread stays away from its event loop while the program runs its long jobs:
// traces (mode 3, then mode 1) and the voltage calibration wizard with its automatic internal-sense
// steps on a crate at line rate in real time with the polling timer running, then a module firmware
// program (Prepare and Program in the CAN update dialog) and a controller flash (scan, erase, program,
// verify) on a line-rate crate in virtual time, as fast as the jobs go. A zero-interval watchdog timer
// on the GUI thread notes the gaps between its turns. The thread's CPU time within a gap is reported
// too: on a loaded machine a gap can be long only because the thread waited for a processor.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>

#include "app/core/polling.h"
#include "app/gui/main_window.h"
#include "app/gui/polling_timer.h"
#include "base/command_ids.h"
#include "base/settings.h"
#include "bench/bench_application.h"
#include "bench/bench_crate.h"
#include "bench/bench_metrics.h"
#include "canfw/gui/fw_update_dialog.h"
#include "channel/channel_table.h"
#include "ctrlfw/gui/controller_firmware_dialog.h"
#include "dialogs/calibration_wizard.h"
#include "dialogs/gui/output_calibration_dialog.h"
#include "prg/vzprg.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "sim/virtual_crate.h"
#include "tests/gui/control_lookup.h"
#include "trace/gui/graph_commands.h"

namespace vz::bench {
namespace {

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// The gaps between the GUI thread's turns through its event loop while it runs.
class StallWatch {
  public:
    StallWatch() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double cpu = threadCpuMs();
            longestMs = std::max(longestMs, static_cast<double>(sinceLast_.nsecsElapsed()) / 1e6);
            mostCpuMs = std::max(mostCpuMs, cpu - cpuAtLast_);
            cpuAtLast_ = cpu;
            sinceLast_.restart();
        });
    }
    void start() {
        sinceLast_.start();
        cpuAtLast_ = threadCpuMs();
        timer_.start(0);
    }
    void stop() { timer_.stop(); }

    double longestMs = 0;
    double mostCpuMs = 0;

  private:
    QTimer timer_;
    QElapsedTimer sinceLast_;
    double cpuAtLast_ = 0;
};

// Turns the event loop until done() holds; a job that hangs ends the benchmark with an error.
void runUntil(const std::function<bool()>& done, const char* what, int limitMs = 300'000) {
    QElapsedTimer since;
    since.start();
    while (!done()) {
        if (since.elapsed() > limitMs) throw std::runtime_error(std::string("gui_stall: no end to ") + what);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
}
void runFor(int ms) {
    QElapsedTimer since;
    since.start();
    runUntil([&] { return since.elapsed() >= ms; }, "a pause");
}

// A click as the event loop delivers it, not from inside the benchmark's own code, once the dialog
// has enabled the button (a dialog enables its buttons from its own posted events).
void clickLater(QWidget* dialog, int id) {
    QAbstractButton* button = nullptr;
    runUntil(
        [&] {
            button = test::control<QAbstractButton>(dialog, id);
            return button && button->isEnabled();
        },
        "a button's enabling", 60'000);
    QTimer::singleShot(0, button, &QAbstractButton::click);
}

struct Stalls {
    double trace = 0, calibration = 0, moduleProgram = 0, controllerFlash = 0, mostCpu = 0;
};

// Traces and the voltage calibration of U1 on a KRAT crate of four modules at line rate, real time.
void traceAndCalibration(Stalls& stalls) {
    BenchCrate crate(4, true);
    // The modules as the search would have found them (a search of 127 addresses at line rate
    // would take most of a minute and is not what is measured here).
    for (int i = 0; i < 4; ++i) {
        QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(i)];
        q.moduleAddress = static_cast<uint16_t>(i);
        q.foundSerial = 10000u + static_cast<uint32_t>(i);
        q.moduleKind = kKindDeviz;
    }
    channelState().channelTable.foundCount = 4;
    channelState().selectedChannel = 1;
    crateSettings().fCmdLine |= kExpertView;
    MainWindow window(true);
    window.show();
    // Measured in a program that runs: its window shown and painted, its fonts loaded.
    QCoreApplication::processEvents();
    PollingTimer polling(window.channelList(), [] { return false; });
    polling.start();
    runFor(1000);  // every row read once

    GraphCommands& graphs = *window.graphCommands();
    for (int mode : {3, 1}) {
        StallWatch watch;
        graphs.setTraceMode(mode);
        bool finished = false;
        const QMetaObject::Connection c =
            QObject::connect(&graphs, &GraphCommands::traceFinished, [&] { finished = true; });
        watch.start();
        QTimer::singleShot(0, &graphs, [&] {
            graphs.traceCommand();
            if (!graphs.tracing()) finished = true;
        });
        runUntil([&] { return finished; }, "the trace");
        watch.stop();
        QObject::disconnect(c);
        stalls.trace = std::max(stalls.trace, watch.longestMs);
        stalls.mostCpu = std::max(stalls.mostCpu, watch.mostCpuMs);
    }

    // The operator's part of the wizard: the meter's reading typed into the field it asks for.
    vsim::Module& module = *crate.crate().controller(0).module(1);
    module.setLoadOhms(1000);
    window.menuAction(cmd::kOutputCalibration)->trigger();
    OutputCalibrationDialog* dialog = window.outputCalibration();
    if (!dialog) throw std::runtime_error("gui_stall: no calibration dialog");
    CalibrationWizard& wizard = dialog->logic().wizard();
    StallWatch watch;
    watch.start();
    clickLater(dialog, 1133);  // Calibrate U
    runUntil([&] { return wizard.state() == kVoltageLow; }, "the wizard's start");
    for (int field : {1054, 1056}) {
        runFor(3000);  // the output settles; the list's repaints feed the averages
        test::control<QLineEdit>(dialog, field)
            ->setText(QString::number(module.trueReadings().uSense, 'f', 6));
        clickLater(dialog, 1);  // OK: the next step, the last one with the automatic steps
        const int from = wizard.state();
        runUntil([&] { return wizard.state() != from; }, "a wizard step");
    }
    runUntil([&] { return !wizard.running(); }, "the wizard");
    watch.stop();
    stalls.calibration = watch.longestMs;
    stalls.mostCpu = std::max(stalls.mostCpu, watch.mostCpuMs);
    polling.stop();
    delete dialog;
}

// A dsPIC30F4011 module on a QX308 crate at line rate in virtual time: the CAN update dialog prepares
// it and programs a full application image; then the controller firmware dialog flashes the
// controller's processor.
void firmwareJobs(Stalls& stalls) {
    BenchCrate crate(R"({"bridges": [{"serial": "BENCH", "vid": "1A2B", "pid": "0010"}],
        "controller": {"type": 16, "lineRate": true, "canTimeoutMs": 10},
        "modules": [{"channel": 1, "serialNumber": 101, "processor": "dsPIC30F4011",
                     "bootLoader": {"version": "1.4.0.0", "built": "2026-03-02 09:15:00"},
                     "application": {"version": "2.0.0.0", "rows": 24}}]})",
                     16, false);
    crateSettings().fCmdLine |= kSkipSlip;
    crateSettings().searchLimit = 3;
    {
        CFwUpdateDlg dialog(nullptr);
        dialog.confirm = [](const QString&, const QString&) { return true; };
        dialog.show();
        QCoreApplication::processEvents();
        auto* list = test::control<QComboBox>(&dialog, fwdlg::kModules);
        clickLater(&dialog, fwdlg::kSearch);
        runUntil([&] { return list->count() == 1 && !dialog.jobRunning(); }, "the search");
        list->setFocus();
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(list, &down);
        runUntil([&] { return dialog.selectedDevice().iModuleId == 1 && !dialog.jobRunning(); },
                 "the selection");
        dialog.setFirmwarePath(VZ_BENCH_MODULE_FIRMWARE);
        StallWatch watch;
        watch.start();
        clickLater(&dialog, fwdlg::kPrepare);
        runUntil([&] { return dialog.runningType() == 1 && !dialog.jobRunning(); },
                 "the boot loader's start");
        clickLater(&dialog, fwdlg::kProgram);
        runUntil([&] { return dialog.runningType() == 2 && !dialog.jobRunning(); }, "the programming");
        watch.stop();
        stalls.moduleProgram = watch.longestMs;
        stalls.mostCpu = std::max(stalls.mostCpu, watch.mostCpuMs);
    }

    crateSettings().portName = "SIM";  // the stand-in access firmware goes to a virtual crate only
    setenv("VIDIZOZOREZ_FIRMWARE_PATH", VZ_BENCH_CONTROLLER_FIRMWARE, 1);
    const PrgInterface* prg = nullptr;
    if (PrgGetInterface(&prg) != 0) throw std::runtime_error("gui_stall: no flash programming interface");
    ControllerFirmwareDialog dialog(nullptr, *prg);
    dialog.chooseFile = [](const QString&, const QString&) {
        return QString(VZ_BENCH_CONTROLLER_FIRMWARE) + "/demo-firmware-3.10.out";
    };
    dialog.show();
    QCoreApplication::processEvents();
    int finished = 0;
    bool ok = false;
    QObject::connect(&dialog, &ControllerFirmwareDialog::workFinished, [&](bool good) {
        ++finished;
        ok = good;
    });
    StallWatch watch;
    watch.start();
    clickLater(&dialog, ctrldlg::kBrowse);
    runUntil([&] { return finished == 1; }, "the scan");
    clickLater(&dialog, ctrldlg::kOk);
    runUntil([&] { return finished == 2; }, "the flash");
    watch.stop();
    if (!ok) throw std::runtime_error("gui_stall: the controller flash failed");
    stalls.controllerFlash = watch.longestMs;
    stalls.mostCpu = std::max(stalls.mostCpu, watch.mostCpuMs);
    unsetenv("VIDIZOZOREZ_FIRMWARE_PATH");
}

void guiStallDuringLongJobs(benchmark::State& state) {
    benchApplication();
    Stalls stalls;
    for (auto _ : state) {
        try {
            traceAndCalibration(stalls);
            firmwareJobs(stalls);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
    }
    reportMetric("gui_max_stall_ms",
                 std::max({stalls.trace, stalls.calibration, stalls.moduleProgram, stalls.controllerFlash}));
    reportMetric("gui_max_stall_cpu_ms", stalls.mostCpu);
    reportMetric("gui_stall_trace_ms", stalls.trace);
    reportMetric("gui_stall_calibration_ms", stalls.calibration);
    reportMetric("gui_stall_module_program_ms", stalls.moduleProgram);
    reportMetric("gui_stall_controller_flash_ms", stalls.controllerFlash);
}
BENCHMARK(guiStallDuringLongJobs)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace vz::bench
