#pragma once
// What a failing exchange does: retry silently five times, then keep the communication problem
// dialog up until the link recovers or the operator cancels; after CANCEL failures give up at once.
#include <atomic>
#include <cstdint>
#include <string>

namespace vz {

// Changed under linkLock by the exchange that fails; the flags and counters are atomic because the
// expert view, vzctl and the search read them from outside an exchange.
struct CommProblem {
    std::atomic<bool> dialogShown{false};
    std::atomic<bool> abort{false};
    std::atomic<uint32_t> readRetries{0};
    std::atomic<uint32_t> writeRetries{0};
    uint32_t failureCount = 0;
    // The module address byte of the last exchange that failed (0xFF the controller): lets a
    // front end without a dialog say whom it gave up on.
    uint8_t lastFailedModule = 0xFF;
    bool lastFailedWasRead = false;
};

// After every failed attempt, under linkLock: true means give up the exchange.
bool commProblemCheck(uint8_t module, bool isRead);
// At the end of every exchange, after linkLock was left; takes the lock for the state it resets.
void commProblemClose();
void resetCommProblem();
// "U3", "the crate controller", "all modules", "group 1", "group 2" for a module address byte.
std::string moduleAddressName(uint8_t module);

}  // namespace vz
