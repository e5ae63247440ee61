#pragma once
// A `vzctl serve` (or any other program) run as a child process for the service tests: its output is
// drained on a thread of its own, so a chatty child never blocks on a full pipe, and the child is
// killed when the object goes, also when a test fails half way.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vz::test {

class ChildProcess {
  public:
    // Runs `command` through /bin/sh (exec'd, so the pid is the program's) with the virtual crate
    // keeping no state between runs.
    explicit ChildProcess(const std::string& command) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(out[1], STDERR_FILENO);
            close(out[0]);
            close(out[1]);
            setenv("VIDIZOZOREZ_SIM_STATE", "none", 1);
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        reader_ = std::thread([this, fd = out[0]] {
            char buffer[4096];
            for (;;) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n <= 0) break;
                std::lock_guard lock(mutex_);
                output_.append(buffer, static_cast<std::size_t>(n));
                changed_.notify_all();
            }
            close(fd);
            std::lock_guard lock(mutex_);
            closed_ = true;
            changed_.notify_all();
        });
    }
    ~ChildProcess() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0 && !reaped_; }
    pid_t pid() const { return pid_; }

    // Waits (at most `bound`, a bound only a hang reaches) until the output holds `text`; false when
    // it never did or the child closed its output first.
    bool waitForOutput(const std::string& text, std::chrono::seconds bound = std::chrono::seconds(180)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] {
            return output_.find(text) != std::string::npos || closed_;
        }) && output_.find(text) != std::string::npos;
    }
    // The rest of the line that follows `prefix` in the output, e.g. the URL after "serving ".
    std::string lineAfter(const std::string& prefix) {
        std::lock_guard lock(mutex_);
        const std::size_t at = output_.find(prefix);
        if (at == std::string::npos) return {};
        const std::size_t start = at + prefix.size();
        return output_.substr(start, output_.find('\n', start) - start);
    }
    std::string output() {
        std::lock_guard lock(mutex_);
        return output_;
    }
    // Sends `signal` and waits (bounded) for the end; the exit status, 128 + signal when killed, -1
    // when it had to be killed after the bound.
    int stop(int signal = SIGTERM, std::chrono::seconds bound = std::chrono::seconds(60)) {
        if (!running()) return status_;
        kill(pid_, signal);
        return waitForExit(bound);
    }
    int waitForExit(std::chrono::seconds bound = std::chrono::seconds(180)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        int raw = 0;
        while (waitpid(pid_, &raw, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &raw, 0);
                reaped_ = true;
                status_ = -1;
                return status_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        reaped_ = true;
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
        return status_;
    }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    bool closed_ = false;
};

// Waits for `ready` to hold, looking every 100 ms, for at most `bound` (a bound only a hang reaches).
template <typename Ready>
bool eventually(Ready ready, std::chrono::seconds bound = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

}  // namespace vz::test
