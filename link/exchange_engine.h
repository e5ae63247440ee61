#pragma once
// One module access exchange, whatever carries it: attempt until a good reply, count each failed
// attempt, ask the communication problem policy whether to go on, and turn the last reply into the
// operation's result. The whole exchange, counters and result included, runs under linkLock; the
// problem dialog is closed after the lock was left.
#include <cstdint>
#include <mutex>

#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_frame.h"

namespace vz {

enum class Attempt { Good, Retry, GiveUp };

// attempt(out) tries once and fills out.status from what arrived; failed() runs right after a failed
// attempt (e.g. flushing the line); recover() before the next one, false to give up (e.g. a resend
// that could not be written); finish(out) computes the operation's result.
template <typename AttemptFn, typename FailedFn, typename RecoverFn, typename FinishFn>
int runExchange(uint8_t module, bool isRead, AttemptFn attempt, FailedFn failed, RecoverFn recover,
                FinishFn finish) {
    int result;
    {
        std::lock_guard lock(linkState().linkLock);
        ExchangeOutcome out;
        for (;;) {
            const Attempt a = attempt(out);
            if (a == Attempt::Good) break;
            if (a == Attempt::GiveUp) {
                out.gaveUp = true;
                break;
            }
            failed();
            ++(isRead ? linkState().commProblem.readRetries : linkState().commProblem.writeRetries);
            if (commProblemCheck(module, isRead) || !recover()) {
                out.gaveUp = true;
                break;
            }
        }
        result = finish(out);
    }
    commProblemClose();
    return result;
}

}  // namespace vz
