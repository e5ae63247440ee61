#include "tools/vzctl/crate_service.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "app/core/polling.h"
#include "base/clock.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "tools/vzctl/cli_arguments.h"
#include "tools/vzctl/command_table.h"
#include "tools/vzctl/crate_commands.h"

namespace vz::ctl {
namespace {

// The commands a request may run: reading ones and the switching and set commands, nothing that
// takes a file or a long device job.
const std::set<std::string> kServedCommands = {"status", "get",   "on",      "off",
                                               "all",    "group", "inhibit", "set"};

std::string readAll(std::FILE* f) {
    std::string text;
    std::fflush(f);
    std::rewind(f);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

// The command's messages without vzctl's prefix, one line each.
std::string withoutPrefix(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (line.rfind("vzctl: ", 0) == 0) line.erase(0, 7);
        if (!line.empty()) out += (out.empty() ? "" : "\n") + line;
        at = end + 1;
    }
    return out;
}

// While it lives, what this process writes to standard error goes to a temporary file instead: the
// commands report their refusals there, and a request gets them as its error text. Only the crate's
// thread writes while a command runs.
class CapturedStandardError {
  public:
    CapturedStandardError() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        if (file_ && saved_ >= 0) dup2(fileno(file_), STDERR_FILENO);
    }
    ~CapturedStandardError() {
        restore();
        if (file_) std::fclose(file_);
    }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;
    std::string text() {
        restore();
        return file_ ? readAll(file_) : std::string();
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

}  // namespace

CrateService::CrateService() : crate_(boundCrate()) {
    lastGoodReadUs_.fill(-1);
    auto first = std::make_shared<CrateSnapshot>();
    first->lastGoodReadUs.fill(-1);
    snapshot_ = std::move(first);
}

std::shared_ptr<const CrateSnapshot> CrateService::snapshot() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

std::optional<CommandResult> CrateService::runCommand(std::vector<std::string> words, bool json,
                                                      std::chrono::milliseconds wait) {
    auto job = std::make_shared<Job>();
    job->words = std::move(words);
    job->json = json;
    {
        std::lock_guard lock(jobsMutex_);
        if (stopping_ || jobs_.size() >= kMaxQueuedCommands) return std::nullopt;
        jobs_.push_back(job);
    }
    std::unique_lock lock(job->mutex);
    if (!job->done.wait_for(lock, wait, [&] { return job->result.has_value(); })) {
        if (!job->started) job->abandoned = true;
        return std::nullopt;
    }
    return job->result;
}

void CrateService::runJobs() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard lock(jobsMutex_);
            if (jobs_.empty()) return;
            job = jobs_.front();
            jobs_.pop_front();
        }
        {
            std::lock_guard lock(job->mutex);
            if (job->abandoned) continue;
            job->started = true;
        }
        CommandResult result = execute(*job);
        std::lock_guard lock(job->mutex);
        job->result = std::move(result);
        job->done.notify_all();
    }
}

CommandResult CrateService::execute(const Job& job) {
    CommandResult r;
    if (job.words.empty() || !kServedCommands.count(job.words.front())) {
        r.status = 2;
        r.error = "not a command the service runs";
        return r;
    }
    if (!up_) {
        r.status = 1;
        r.error = "the crate does not answer (the service keeps trying)";
        return r;
    }
    forgetStrayFailures();
    CliArguments args;
    args.command = job.words.front();
    args.words.assign(job.words.begin() + 1, job.words.end());
    args.json = job.json;
    std::FILE* out = std::tmpfile();
    if (!out) {
        r.error = "no temporary file for the command's output";
        return r;
    }
    {
        CapturedStandardError errors;
        if (args.command == "status") {
            // The list as polling keeps it: a request does not read every channel again.
            if (args.words.empty()) {
                printChannelList(out);
                r.status = 0;
            } else {
                std::fprintf(stderr, "vzctl: status takes no words\n");
                r.status = 2;
            }
        } else {
            r.status = checkBeforeConnecting(args);
            if (r.status < 0) r.status = ctl::runCommand(args, out);
        }
        r.error = withoutPrefix(errors.text());
    }
    r.out = readAll(out);
    std::fclose(out);
    if (linkState().commProblem.abort) {
        noteAnswered(clock().nowUs());  // marks the crate down and schedules the next try
        if (r.status == 0) r.status = 1;
        r.error += std::string(r.error.empty() ? "" : "\n") + "the crate stopped answering";
    }
    return r;
}

void CrateService::foldLinkRetries() {
    counters_.readRetries += linkState().commProblem.readRetries;
    counters_.writeRetries += linkState().commProblem.writeRetries;
}

void CrateService::noteAnswered(int64_t nowUs) {
    const bool answered = !linkState().commProblem.abort;
    if (answered && !up_) {
        std::fprintf(stderr, "vzctl serve: the crate answers again\n");
        retryPauseUs_ = kFirstRetryUs;
    }
    if (!answered) {
        if (up_) ++counters_.givenUp;
        nextTryUs_ = nowUs + retryPauseUs_;
        std::fprintf(stderr, "vzctl serve: the crate does not answer; next try in %.1f s\n",
                     static_cast<double>(retryPauseUs_) / 1e6);
        retryPauseUs_ = std::min(retryPauseUs_ * 2, kLastRetryUs);
    }
    up_ = answered;
}

void CrateService::tick() {
    const int64_t now = clock().nowUs();
    if (!up_) {
        if (now < nextTryUs_) {
            publish();
            return;
        }
        ++counters_.reconnectAttempts;
        foldLinkRetries();
        resetCommProblem();  // exchanges try again instead of giving up at once
    }
    pollingTick();
    const int channel = pollingCycle().lastPolledChannel;
    if (channel >= 0 && channel < kChannelCount && channelPresent(channel) &&
        measurementState(channel) == MeasurementState::read)
        lastGoodReadUs_[static_cast<std::size_t>(channel)] = clock().nowUs();
    noteAnswered(clock().nowUs());
    forgetStrayFailures();
    publish();
}

void CrateService::forgetStrayFailures() {
    if (up_ && !linkState().commProblem.abort && linkState().commProblem.failureCount > 0) {
        foldLinkRetries();
        resetCommProblem();
    }
}

int64_t CrateService::step() {
    runJobs();
    const int64_t now = clock().nowUs();
    if (now >= nextTickUs_) {
        tick();
        // Keep the cadence; after a slow tick (a crate that does not answer) start again from now.
        nextTickUs_ = std::max(nextTickUs_ + kTickUs, now);
    }
    return nextTickUs_;
}

void CrateService::run(const std::atomic<bool>& stop) {
    const CrateBinding binding(crate_);
    nextTickUs_ = clock().nowUs();
    while (!stop) {
        const int64_t next = step();
        // Short naps: a request's command waits at most one of them, a stop signal as well.
        for (;;) {
            const int64_t left = next - clock().nowUs();
            if (left <= 0 || stop) break;
            {
                std::lock_guard lock(jobsMutex_);
                if (!jobs_.empty()) break;
            }
            clock().sleepUs(std::min<int64_t>(left, 10'000));
        }
    }
    std::deque<std::shared_ptr<Job>> left;
    {
        std::lock_guard lock(jobsMutex_);
        stopping_ = true;
        left.swap(jobs_);
    }
    for (auto& job : left) {
        std::lock_guard lock(job->mutex);
        job->result = CommandResult{1, {}, "the service is stopping"};
        job->done.notify_all();
    }
}

void CrateService::publish() {
    auto s = std::make_shared<CrateSnapshot>();
    fillSnapshotFromCrate(*s);
    s->up = up_;
    s->lastGoodReadUs = lastGoodReadUs_;
    s->counters.readRetries = counters_.readRetries + linkState().commProblem.readRetries;
    s->counters.writeRetries = counters_.writeRetries + linkState().commProblem.writeRetries;
    s->counters.givenUp = counters_.givenUp;
    s->counters.reconnectAttempts = counters_.reconnectAttempts;
    std::lock_guard lock(snapshotMutex_);
    snapshot_ = std::move(s);
}

}  // namespace vz::ctl
