#pragma once
// The calling thread's CPU time: a bound on work that load on the machine does not move, unlike
// wall time, so a test can tell "bounded" from "runs away" on a busy machine.
#include <time.h>

namespace vz::test {

inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace vz::test
