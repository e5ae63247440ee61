#include "link/clock.h"

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

namespace {
SteadyClock steadyClock;
Clock* current = &steadyClock;
}  // namespace

Clock& clock() { return *current; }
void setClock(Clock* c) { current = c ? c : &steadyClock; }

}  // namespace vz
