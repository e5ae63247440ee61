#include "tools/vzctl/meter_command.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace vz::ctl {

namespace {

bool digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool wordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

}  // namespace

std::optional<double> meterReading(const std::string& text, std::string& error) {
    std::vector<std::string> numbers;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool signOrPoint =
            (c == '-' || c == '+' || c == '.') && i + 1 < text.size() &&
            (digit(text[i + 1]) || (text[i + 1] == '.' && i + 2 < text.size() && digit(text[i + 2])));
        // A digit inside a word ("CH1", "34401A") names something; it is no reading.
        if (!(digit(c) || signOrPoint) || (i > 0 && wordChar(text[i - 1]))) {
            ++i;
            continue;
        }
        size_t j = i;
        if (text[j] == '-' || text[j] == '+') ++j;
        // Digits with points and commas between them; a separator not followed by a digit ends it.
        while (j < text.size() && (digit(text[j]) || ((text[j] == '.' || text[j] == ',') &&
                                                      j + 1 < text.size() && digit(text[j + 1]))))
            ++j;
        if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
            size_t k = j + 1;
            if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
            if (k < text.size() && digit(text[k])) {
                while (k < text.size() && digit(text[k])) ++k;
                j = k;
            }
        }
        numbers.push_back(text.substr(i, j - i));
        i = j;
    }
    if (numbers.empty()) {
        error = "the meter command printed no number";
        return std::nullopt;
    }
    if (numbers.size() > 1) {
        error = "the meter command printed more than one number (\"" + numbers[0] + "\", \"" + numbers[1] +
                "\"): which one is the reading is not guessed";
        return std::nullopt;
    }
    std::string number = numbers[0];
    const size_t points = static_cast<size_t>(std::count(number.begin(), number.end(), '.'));
    const size_t commas = static_cast<size_t>(std::count(number.begin(), number.end(), ','));
    // "3,196" is a decimal comma; "1,234.5" or "1,234,567" could be thousands or decimals: refused.
    if (points + commas > 1) {
        error = "the meter reading \"" + number + "\" is ambiguous (decimal point or thousands separator?)";
        return std::nullopt;
    }
    std::replace(number.begin(), number.end(), ',', '.');
    char* end = nullptr;
    const double v = std::strtod(number.c_str(), &end);
    if (*end || !std::isfinite(v)) {
        error = "the meter reading \"" + numbers[0] + "\" is no number";
        return std::nullopt;
    }
    return v;
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
    return meterReading(output, error);
}

}  // namespace vz::ctl
