#pragma once
// The crate side of `vzctl serve`: one thread owns the crate (the process-wide link and channel
// table), polls it tick by tick as the program does, publishes a snapshot after every tick, and runs
// the commands HTTP requests hand it between two ticks. A crate that stops answering is marked down
// and tried again with a growing pause until it answers; nothing of that ends the service.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/crate_binding.h"
#include "tools/vzctl/crate_snapshot.h"

namespace vz::ctl {

// What a vzctl command run for a request did: its exit status, what it printed on standard output
// and on standard error (without the "vzctl: " prefix).
struct CommandResult {
    int status = 1;
    std::string out;
    std::string error;
};

class CrateService {
  public:
    // Pauses between tries while the crate does not answer: first, then doubled up to the last.
    static constexpr int64_t kFirstRetryUs = 500'000;
    static constexpr int64_t kLastRetryUs = 30'000'000;
    static constexpr int64_t kTickUs = 100'000;
    static constexpr std::size_t kMaxQueuedCommands = 8;

    // Serves the crate bound to the constructing thread, whichever thread then runs it.
    CrateService();

    // Any thread: the latest snapshot; never null.
    std::shared_ptr<const CrateSnapshot> snapshot() const;

    // Any thread but the crate's: runs `words` (a vzctl command line after the port: command, then its
    // words) on the crate's thread between two ticks and waits for it at most `wait`. Nothing when the
    // queue is full, the service stops or the wait ran out; a result with status 1 and an error when
    // the crate is down.
    std::optional<CommandResult> runCommand(std::vector<std::string> words, bool json,
                                            std::chrono::milliseconds wait);

    // The crate's thread: ticks, queued commands and snapshots until `stop` is set. Sleeps on the
    // process clock between ticks.
    void run(const std::atomic<bool>& stop);
    // One round of run(): the queued commands, a tick (or a try of a crate that is down, when due),
    // a new snapshot. Returns the time (µs, process clock) of the next tick.
    int64_t step();
    // A tick of a crate that answers, or a try of one that does not when its pause is over; then a new
    // snapshot. Public for the benchmark, which measures what a tick costs while serving.
    void tick();

  private:
    CrateRefs crate_;
    struct Job {
        std::vector<std::string> words;
        bool json = false;
        std::mutex mutex;
        std::condition_variable done;
        bool started = false;
        bool abandoned = false;  // the request stopped waiting before the command started
        std::optional<CommandResult> result;
    };
    void runJobs();
    CommandResult execute(const Job& job);
    void publish();
    void foldLinkRetries();
    void noteAnswered(int64_t nowUs);
    // The link counts failed attempts across exchanges until its problem dialog would open; for a
    // service that runs for weeks, stray failures on a line that answers must not add up to "down".
    void forgetStrayFailures();

    mutable std::mutex snapshotMutex_;
    std::shared_ptr<const CrateSnapshot> snapshot_;

    std::mutex jobsMutex_;
    std::deque<std::shared_ptr<Job>> jobs_;
    bool stopping_ = false;

    // Crate thread only.
    bool up_ = true;
    int64_t nextTryUs_ = 0;
    int64_t retryPauseUs_ = kFirstRetryUs;
    int64_t nextTickUs_ = 0;
    std::array<int64_t, kChannelCount> lastGoodReadUs_{};
    LinkCounters counters_;  // retries folded in before the link state is reset
};

}  // namespace vz::ctl
