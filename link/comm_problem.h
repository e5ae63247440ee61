#pragma once
// What a failing exchange does: retry silently five times, then keep the communication problem
// dialog up until the link recovers or the operator cancels; after CANCEL failures give up at once.
#include <cstdint>
#include <string>

namespace vz {

struct CommProblem {
    bool dialogShown = false;
    bool abort = false;
    uint32_t readRetries = 0;
    uint32_t writeRetries = 0;
    uint32_t failureCount = 0;
    // The module address byte of the last exchange that failed (0xFF the controller): lets a
    // front end without a dialog say whom it gave up on.
    uint8_t lastFailedModule = 0xFF;
    bool lastFailedWasRead = false;
};

extern CommProblem commProblem;

// After every failed attempt, under linkLock: true means give up the exchange.
bool commProblemCheck(uint8_t module, bool isRead);
// At the end of every exchange, after linkLock was left.
void commProblemClose();
void resetCommProblem();
// "U3", "the crate controller", "all modules", "group 1", "group 2" for a module address byte.
std::string moduleAddressName(uint8_t module);

}  // namespace vz
