#pragma once
// What a failing exchange does: retry silently five times, then keep the communication problem
// dialog up until the link recovers or the operator cancels; after CANCEL failures give up at once.
#include <cstdint>

namespace vz {

struct CommProblem {
    bool dialogShown = false;
    bool abort = false;
    uint32_t readRetries = 0;
    uint32_t writeRetries = 0;
    uint32_t failureCount = 0;
};

extern CommProblem commProblem;

// After every failed attempt, under linkLock: true means give up the exchange.
bool commProblemCheck();
// At the end of every exchange, after linkLock was left.
void commProblemClose();
void resetCommProblem();

}  // namespace vz
