#pragma once
// A crate's settings: written by the command line and the connection sequence, read everywhere.
#include <atomic>
#include <cstdint>
#include <string>

namespace vz {

// Bits of fCmdLine.
enum CmdLineBits : uint32_t {
    kUseCan = 0x1,                 // -u
    kConfigFromCache = 0x2,        // -x
    kGetBlock3 = 0x4,              // -g3
    kShowCommErrors = 0x8,         // -e
    kTestMode = 0x10,              // -t
    kExpertView = 0x20,            // -ac
    kSearchAll = 0x40,             // -sa
    kSearchModules = 0x80,         // -sm
    kMeasureFromModules = 0x100,   // -gm
    kGetBlock1 = 0x200,            // on by default, -g1 clears
    kGetBlock2 = 0x400,            // -g2
    kPlainTitle = 0x800,           // on by default, -H clears
    kFileReadOptionsWdx = 0x1000,  // -f
    kSearchEight = 0x2000,         // OptNum only
    kAtlasMode = 0x8000,           // -as
    kShowFirmware = 0x10000,       // -af
    kSkipSlip = 0x20000,           // -S
};

constexpr uint32_t kDefaultCmdLine = kGetBlock1 | kPlainTitle;

struct CrateSettings {
    uint32_t fCmdLine = kDefaultCmdLine;
    std::string portName = "COM4";  // at most 99 characters, but for a whole SIM:<scenario path>
    unsigned searchLimit = 127;
    bool overwriteSystemConfig = false;
    // Written by the connection (and a reconnect, possibly on the updater's thread), read everywhere.
    std::atomic<int> controllerType{0};
    bool snmpMode = false;
    int typeChannelLimit = 12;
    // The polling switches (base/polling_state.h): the operator's "&Stop", the module updater's
    // suspension of the channel reads, and the count of jobs that pause the ticks.
    std::atomic<bool> pollingStoppedByOperator{false};
    std::atomic<bool> pollingEnabled{true};
    std::atomic<int> pollingPauses{0};
};

// The settings of the crate bound to the calling thread (base/crate_binding.h).
CrateSettings& crateSettings();

// The bound crate's settings back to their values before the command line is read.
void resetSettings();

}  // namespace vz
