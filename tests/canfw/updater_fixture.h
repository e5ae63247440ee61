#pragma once
// A connected virtual crate with firmware-carrying modules and a running updater: queue jobs, wait
// until the worker has run them, read what it posted.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "canfw/updater_mailbox.h"
#include "canfw/updater_worker.h"
#include "sim/controller.h"
#include "tests/support/crate_fixture.h"

namespace vz::test {

// Channel 1: dsPIC30F4011 running application 2.0.0.0; 2: dsPIC30F4013; 3: dsPIC30F3012 (no
// layout); 4: a blank dsPIC30F4011 with only its boot loader.
std::string updaterModules();

class UpdaterFixture : public CrateFixture {
  protected:
    void TearDown() override;
    void connect(const std::string& faults = "");
    // Runs the queued jobs to the end; returns the log text they posted.
    std::string runJobs();
    DeviceInfo identify(int channel);
    vsim::BootFirmware& firmware(int channel);
    std::string tempPath(const std::string& name) const;

    std::unique_ptr<CWorkerUpdateDlg> updater;
    UpdaterMailbox mailbox;
    std::vector<UpdaterMessage> messages;  // everything but the log lines, in order
};

std::string readFile(const std::string& path);
std::string demoFirmware();

}  // namespace vz::test
