#pragma once
// The one injectable clock: production uses the steady clock, tests use virtual time so that
// read time-outs and pauses cost no real time.
#include <atomic>
#include <cstdint>
#include <functional>

namespace vz {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time in microseconds; the origin is arbitrary.
    virtual int64_t nowUs() = 0;
    // Local wall-clock time in microseconds since 1970-01-01 (local time zone applied).
    virtual int64_t localWallUs() = 0;
    virtual void sleepUs(int64_t us) = 0;
    void sleepMs(int64_t ms) { sleepUs(ms * 1000); }
    // Waits until ready() holds, looking every stepUs, for at most timeoutUs; true when it held. In
    // virtual time the waiting advances the clock, so a test waits for another thread without real delay.
    bool waitFor(const std::function<bool()>& ready, int64_t timeoutUs, int64_t stepUs = 1000);
    int64_t nowMs() { return nowUs() / 1000; }
};

class SteadyClock final : public Clock {
public:
    int64_t nowUs() override;
    int64_t localWallUs() override;
    void sleepUs(int64_t us) override;
};

// Time moves only when somebody sleeps or the test advances it. Safe from several threads: a sleep
// on any thread moves the time of all.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(int64_t wallUs = 0) : wallStartUs_(wallUs) {}
    int64_t nowUs() override { return now_.load(); }
    int64_t localWallUs() override { return wallStartUs_.load() + now_.load(); }
    void sleepUs(int64_t us) override {
        if (us > 0) now_.fetch_add(us);
    }
    void advanceUs(int64_t us) { sleepUs(us); }
    void setWallUs(int64_t wallUs) { wallStartUs_ = wallUs - now_.load(); }

private:
    std::atomic<int64_t> now_{0};
    std::atomic<int64_t> wallStartUs_;
};

// The process-wide clock; the steady clock unless a test or tool installs another one.
Clock& clock();
void setClock(Clock* c);  // nullptr restores the steady clock

}  // namespace vz
