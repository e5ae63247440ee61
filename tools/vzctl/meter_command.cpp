#include "tools/vzctl/meter_command.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>

extern char** environ;

namespace vz::ctl {

std::optional<double> firstNumber(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool starts = std::isdigit(static_cast<unsigned char>(c)) ||
                            ((c == '-' || c == '+' || c == '.') && i + 1 < text.size() &&
                             (std::isdigit(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '.'));
        if (!starts) continue;
        char* end = nullptr;
        const double v = std::strtod(text.c_str() + i, &end);
        if (end != text.c_str() + i && std::isfinite(v)) return v;
    }
    return std::nullopt;
}

namespace {

// The child's pipe end and process group, closed, killed and reaped however the run ends: the whole
// group, so that what the shell started cannot outlive it holding our output open.
struct Child {
    int fd = -1;
    pid_t pid = -1;
    ~Child() {
        if (fd >= 0) close(fd);
        if (pid > 0) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

}  // namespace

std::optional<double> runMeterCommand(const std::string& command, int timeoutMs, std::string& error) {
    int fds[2];
    if (pipe(fds) != 0) {
        error = "no pipe for the meter command";
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    Child child;
    child.fd = fds[0];
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    const int spawned =
        posix_spawn(&child.pid, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (spawned != 0) {
        child.pid = -1;
        error = "the meter command could not be started";
        return std::nullopt;
    }
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            error = "the meter command did not finish within " + std::to_string(timeoutMs / 1000) + " s";
            return std::nullopt;  // Child kills and reaps it
        }
        pollfd p{child.fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[512];
        const ssize_t n = read(child.fd, buffer, sizeof buffer);
        if (n <= 0) break;  // end of output
        if (output.size() < 65536) output.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    // The output has ended; the command may still linger, so wait for it against the same deadline.
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "the meter command did not finish within " + std::to_string(timeoutMs / 1000) + " s";
            return std::nullopt;
        }
        usleep(10'000);
    }
    kill(-child.pid, SIGKILL);  // anything the command left running in its group
    child.pid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "the meter command failed (exit status " +
                std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
        return std::nullopt;
    }
    const auto value = firstNumber(output);
    if (!value) error = "the meter command printed no number";
    return value;
}

}  // namespace vz::ctl
