// vzctl: the crate from a terminal, over the same core as the program.
#include <cstdio>
#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "app/core/connection.h"
#include "app/core/settings.h"
#include "link/bridge.h"
#include "link/link_capture.h"
#include "link/snmp_transport.h"
#include "link/operator_seam.h"
#include "link/usb_link.h"
#include "tools/vzctl/cli_arguments.h"
#include "tools/vzctl/crate_commands.h"

namespace {

// Answers as documented; with --serial it picks that bridge instead of cancelling the choice.
class CliOperator : public vz::HeadlessOperator {
public:
    explicit CliOperator(std::string serial) : serial_(std::move(serial)) {}
    int chooseUsbDevice(const std::vector<vz::UsbChoice>& devices) override {
        for (const auto& d : devices)
            if (!serial_.empty() && d.serial == serial_ && d.available) return d.index;
        if (serial_.empty()) std::fprintf(stderr, "vzctl: several USB devices; choose one with --serial SN\n");
        else std::fprintf(stderr, "vzctl: no available USB device with serial number %s\n", serial_.c_str());
        return vz::HeadlessOperator::chooseUsbDevice(devices);
    }

private:
    std::string serial_;
};

}  // namespace

int main(int argc, char** argv) {
    vz::ctl::CliArguments args;
    std::string error;
    if (!vz::ctl::parseCliArguments(argc, argv, args, error)) {
        std::fprintf(stderr, "vzctl: %s\n", error.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(vz::ctl::kVzctlHelp, stdout);
        return 0;
    }
    vz::installSnmpTransport();
    vz::startLinkCaptureFromEnvironment();
    CliOperator seam(args.serial);
    vz::setOperatorSeam(&seam);

    std::vector<const char*> programArgs;
    for (const auto& a : args.programArgs) programArgs.push_back(a.c_str());
    if (!vz::parseCommandLine(static_cast<int>(programArgs.size()), programArgs.data())) {
        std::fprintf(stderr, "vzctl: unknown option (try --help)\n");
        return 2;
    }

    std::unique_ptr<vz::BridgeLibrary> library;
    if (!(vz::fCmdLine & vz::kUseCan)) {
        library = vz::makeBridgeForPort(vz::portName, error);
        if (!library) {
            std::fprintf(stderr, "vzctl: %s\n", error.c_str());
            return 1;
        }
        vz::setBridge(library.get());
    }
    if (!vz::connectController(vz::fCmdLine)) {
        std::fprintf(stderr, "vzctl: no connection to the crate controller\n");
        vz::usbClose();
        return 1;
    }
    const int status = vz::ctl::runCommand(args, stdout);
    vz::usbClose();
    vz::setBridge(nullptr);
    vz::setOperatorSeam(nullptr);
    return status;
}
