#include "tools/vzctl/stop_signals.h"

#include <signal.h>

#include <atomic>

namespace vz::ctl {
namespace {

std::atomic<void (*)(int)> firstHandler{nullptr};
std::atomic<int> received{0};

void onStopSignal(int signal) {
    if (received.fetch_add(1) == 0) {
        if (auto* handler = firstHandler.load()) handler(signal);
        return;
    }
    // The second: the default action, which ends the process with the signal's status.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(signal, &plain, nullptr);
    raise(signal);
}

}  // namespace

void installStopSignals(void (*handler)(int)) {
    firstHandler = handler;
    received = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;  // as signal(2) installs handlers: reads and waits go on
    sigemptyset(&action.sa_mask);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
}

}  // namespace vz::ctl
