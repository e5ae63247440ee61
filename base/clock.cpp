#include "base/clock.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

namespace vz {

int64_t SteadyClock::nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t SteadyClock::localWallUs() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    return duration_cast<microseconds>(now.time_since_epoch()).count() + int64_t{local.tm_gmtoff} * 1'000'000;
}

void SteadyClock::sleepUs(int64_t us) {
    if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

bool Clock::waitFor(const std::function<bool()>& ready, int64_t timeoutUs, int64_t stepUs) {
    const int64_t start = nowUs();
    for (;;) {
        if (ready()) return true;
        const int64_t left = timeoutUs - (nowUs() - start);
        if (left <= 0) return false;
        sleepUs(std::min(left, std::max<int64_t>(stepUs, 1)));
        // In virtual time the sleep returns at once: give the thread being waited for a turn.
        std::this_thread::yield();
    }
}

namespace {
SteadyClock steadyClock;
Clock* current = &steadyClock;
}  // namespace

Clock& clock() { return *current; }
void setClock(Clock* c) { current = c ? c : &steadyClock; }

}  // namespace vz
