#pragma once
// One run's hold on a crate: the bridge driver chosen by the port argument, the connection sequence,
// and, when the session ends however it ends, the USB device closed and the driver let go. The
// program and vzctl both start this way, so neither can leave a dangling bridge on an early return.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/core/connection.h"

namespace vz {

class BridgeLibrary;

// Makes the bridge driver for a port argument, or nullptr and a reason. The application passes its
// choice at start-up, so the core knows no driver in particular.
using BridgeMaker =
    std::function<std::unique_ptr<BridgeLibrary>(const std::string& port, std::string& error)>;

class CrateSession {
  public:
    // Makes the driver for the bound crate's portName (none with -u) and installs it in that crate. Check attached() and error().
    CrateSession(uint32_t flags, const BridgeMaker& makeBridge);
    ~CrateSession();
    CrateSession(const CrateSession&) = delete;
    CrateSession& operator=(const CrateSession&) = delete;

    bool attached() const { return attached_; }
    const std::string& error() const { return error_; }
    // The connection sequence; false ends the run.
    bool connect(uint32_t& flags, const ConnectionProgressFn& progress = {});

  private:
    std::unique_ptr<BridgeLibrary> library_;
    bool attached_ = false;
    std::string error_;
};

// The crate bound to the calling thread back to its start (settings, link state and counters, the
// channel table, polling), and the controller update's step choice, which is the program's. A test
// that reuses one crate for several runs starts each with it.
void resetProcessState();

}  // namespace vz
