// vzctl: the crate from a terminal, over the same core as the program.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/core/crate.h"
#include "app/core/crate_session.h"
#include "base/operator_seam.h"
#include "base/settings.h"
#include "link/comm_problem.h"
#include "link/link_capture.h"
#include "link/link_state.h"
#include "link/usb_link.h"
#include "tools/vzctl/cli_arguments.h"
#include "tools/vzctl/command_table.h"
#include "tools/vzctl/ctrl_command.h"
#include "tools/vzctl/progress_line.h"
#include "tools/vzctl/serve_command.h"
#include "tools/vzctl/server_client.h"
#include "tools/vzctl/sim_reset_command.h"
#include "virtual_bridge/bridge_for_port.h"

namespace {

// Answers as documented; with --serial it picks that bridge instead of cancelling the choice. Every
// way the program would end during the connection ends vzctl with 1, a link failure.
class CliOperator : public vz::HeadlessOperator {
  public:
    explicit CliOperator(std::string serial) : serial_(std::move(serial)) {}
    int chooseUsbDevice(const std::vector<vz::UsbChoice>& devices) override {
        clearProgress();
        for (const auto& d : devices) {
            if (serial_.empty() || d.serial != serial_) continue;
            if (d.available) return d.index;
            std::fprintf(stderr, "vzctl: the USB device with serial number %s is in use by another program\n",
                         serial_.c_str());
            return -1;
        }
        if (serial_.empty())
            std::fprintf(stderr, "vzctl: several USB devices; choose one with --serial SN\n");
        else
            std::fprintf(stderr, "vzctl: no crate controller with serial number %s is attached\n",
                         serial_.c_str());
        return vz::HeadlessOperator::chooseUsbDevice(devices);
    }
    [[noreturn]] void endProcess(int) override {
        clearProgress();
        vz::HeadlessOperator::endProcess(1);
    }
    vz::BoxAnswer messageBox(const vz::BoxRequest& box) override {
        clearProgress();
        const vz::BoxAnswer answer = vz::HeadlessOperator::messageBox(box);
        if (box.text == "No USB devices found or available" && !hinted_) {
            hinted_ = true;  // what to check, once
            std::fprintf(
                stderr,
                "vzctl: no crate controller's USB bridge is attached or accessible: check the cable, "
                "`lsusb` (vendor 1a2b), the udev rule 99-vidizozorez.rules (plug the bridge in again "
                "after installing it) and that you are at the seat or in the group plugdev; the port SIM "
                "runs the virtual crate instead\n");
        }
        return answer;
    }
    void commProblemOpen(const std::string& caption) override {
        clearProgress();
        vz::HeadlessOperator::commProblemOpen(caption);
    }
    vz::ctl::ProgressLine* progress = nullptr;  // messages are printed on a line of their own

  private:
    void clearProgress() {
        if (progress) progress->clear();
    }
    std::string serial_;
    bool hinted_ = false;
};

// After CANCEL every failing exchange gave up: the command's result cannot be trusted.
bool reportGivenUp() {
    if (!vz::linkState().commProblem.abort) return false;
    std::fprintf(stderr, "vzctl: gave up: %s did not answer a %s (no communication with the crate)\n",
                 vz::moduleAddressName(vz::linkState().commProblem.lastFailedModule).c_str(),
                 vz::linkState().commProblem.lastFailedWasRead ? "read" : "write");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const vz::BoundCrate crate;  // the one crate this run works on
    vz::ctl::CliArguments args;
    std::string error;
    if (!vz::ctl::parseCliArguments(argc, argv, args, error)) {
        std::fprintf(stderr, "vzctl: %s\n", error.c_str());
        return 2;
    }
    if (args.help) {
        // One write: a reader that stops after the first line (| head -1) then finds it all in the
        // pipe, instead of vzctl meeting a closed pipe at the next buffer flush.
        const std::string& help = vz::ctl::vzctlHelp();
        for (size_t done = 0; done < help.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, help.data() + done, help.size() - done);
            if (n <= 0) return 1;
            done += static_cast<size_t>(n);
        }
        return 0;
    }
    if (!args.server.empty()) return vz::ctl::serverCommand(args, stdout);
    vz::startLinkCaptureFromEnvironment();
    CliOperator seam(args.serial);
    const vz::ScopedOperatorSeam seamInstalled(seam);

    std::vector<const char*> programArgs;
    for (const auto& a : args.programArgs) programArgs.push_back(a.c_str());
    if (!vz::parseCommandLine(static_cast<int>(programArgs.size()), programArgs.data())) {
        std::fprintf(stderr, "vzctl: unknown option (try --help)\n");
        return 2;
    }
    if (const int status = vz::ctl::checkBeforeConnecting(args); status >= 0) return status;
    // The parser took only a command of the table.
    const vz::ctl::CrateUse crateUse = vz::ctl::findCommand(args.command)->crate;
    if (crateUse == vz::ctl::CrateUse::none)
        return vz::ctl::simResetCommand(vz::crateSettings().portName, args.words, stdout);
    vz::ctl::HttpServiceOptions serveOptions;
    if (crateUse == vz::ctl::CrateUse::owner) {
        if (!vz::ctl::parseServeWords(args.words, args.tokenFile, serveOptions, error)) {
            std::fprintf(stderr, "vzctl: %s\n", error.c_str());
            return 2;
        }
    } else if (!args.tokenFile.empty()) {
        std::fprintf(stderr, "vzctl: --token-file goes with serve or --server\n");
        return 2;
    }

    vz::CrateSession session(vz::crateSettings().fCmdLine, vz::makeBridgeForPort);
    if (!session.attached()) {
        std::fprintf(stderr, "vzctl: %s\n", session.error().c_str());
        return 1;
    }
    if (crateUse == vz::ctl::CrateUse::usbDevice) {
        // The controller's processor is reached through its boot loader: no module search, so a
        // controller whose firmware is broken can still be programmed.
        if (!vz::usbOpen(vz::linkState().usbInfo)) {
            std::fprintf(stderr, "vzctl: no connection to the crate controller's USB device\n");
            return 1;
        }
        const int status = vz::ctl::ctrlCommand(args.words, args.json, stdout);
        std::fflush(stdout);
        return status;
    }
    bool connected;
    {
        vz::ctl::ProgressLine progress(stderr);
        seam.progress = &progress;
        connected = session.connect(
            vz::crateSettings().fCmdLine,
            [&progress](const vz::ConnectionProgress& p) { progress.show("Search channels: " + p.text); });
        seam.progress = nullptr;
    }
    if (reportGivenUp()) return 1;
    if (!connected) {
        std::fprintf(stderr, "vzctl: no connection to the crate controller\n");
        return 1;
    }
    if (!args.serial.empty() && !(vz::crateSettings().fCmdLine & vz::kUseCan) &&
        vz::usbSerial() != args.serial) {
        std::fprintf(stderr, "vzctl: the only attached crate controller has serial number %s, not %s\n",
                     vz::usbSerial().c_str(), args.serial.c_str());
        return 1;
    }
    if (crateUse == vz::ctl::CrateUse::owner) return vz::ctl::serveCommand(serveOptions, stdout);
    // In the shell, `ctrl` gets the USB device the crate was reached through; afterwards the crate is
    // connected again, so that `ctrl info` and `status` can follow an update in one shell.
    vz::ctl::setShellCtrlRunner([&session](const std::vector<std::string>& words, bool json, std::FILE* out) {
        int status = vz::ctl::ctrlCommand(words, json, out);
        std::fflush(out);
        vz::usbClose();
        vz::resetCommProblem();
        bool again;
        {
            vz::ctl::ProgressLine progress(stderr);
            again =
                session.connect(vz::crateSettings().fCmdLine, [&progress](const vz::ConnectionProgress& p) {
                    progress.show("Search channels: " + p.text);
                });
        }
        if (!again) {
            std::fprintf(stderr, "vzctl: the crate could not be connected again after ctrl\n");
            if (status == 0) status = 1;
        }
        return status;
    });
    int status = vz::ctl::runCommand(args, stdout);
    std::fflush(stdout);
    if (reportGivenUp() && status == 0) status = 1;
    return status;
}
