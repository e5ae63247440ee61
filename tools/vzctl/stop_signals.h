#pragma once
// The ways a person or a service manager asks vzctl to stop: Ctrl+C (SIGINT), SIGTERM (systemd,
// kill) and SIGHUP (a closed terminal). While a command works on a device each of them asks it to
// stop at its next safe point, so the device is left in a state the command can name; a second
// signal ends vzctl at once.
namespace vz::ctl {

// Installs handler for the three signals; it runs for the first one only.
void installStopSignals(void (*handler)(int));

}  // namespace vz::ctl
