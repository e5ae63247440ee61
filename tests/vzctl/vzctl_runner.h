#pragma once
// Runs the real vzctl binary as a script would and collects its exit status and output.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace vz::test {

struct Outcome {
    int status;
    std::string out;  // standard output and standard error together
};

// A hang ends in status 124 instead of hanging the suite. The bound is one that only a hang reaches,
// also under sanitizers on a busy machine; how long a run takes is never asserted. The virtual crate
// keeps no state between runs (VIDIZOZOREZ_SIM_STATE=none) unless the test names a state file, one in
// a folder of its own: a test never touches a user's state.
inline Outcome vzctl(const std::string& args, const std::string& simState = "none") {
    const std::string command = "VIDIZOZOREZ_SIM_STATE='" + simState + "' timeout -k 10 180 " +
                                std::string(VZCTL_PATH) + " " + args + " 2>&1";
    Outcome r{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

// Runs vzctl and sends it `signal` once its output holds `after`: how a service manager (SIGTERM) or
// a closed terminal (SIGHUP) ends it in the middle of a job. Bounded like vzctl() above.
inline Outcome vzctlSignalled(const std::string& args, const std::string& after, int signal) {
    Outcome r{-1, {}};
    int out[2];
    if (pipe(out) != 0) return r;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        setenv("VIDIZOZOREZ_SIM_STATE", "none", 1);
        execl("/bin/sh", "sh", "-c", ("exec " + std::string(VZCTL_PATH) + " " + args).c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    bool sent = false;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        poll(&p, 1, 100);
        char buffer[4096];
        const ssize_t n = (p.revents & (POLLIN | POLLHUP)) ? read(out[0], buffer, sizeof buffer) : -1;
        if (n > 0) r.out.append(buffer, static_cast<size_t>(n));
        if (!sent && r.out.find(after) != std::string::npos) {
            kill(child, signal);
            sent = true;
        }
        if (n == 0) break;  // vzctl closed its output: it has ended
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            break;
        }
    }
    close(out[0]);
    int raw = 0;
    waitpid(child, &raw, 0);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    if (!sent) r.out += "\n(the signal was never sent)";
    return r;
}

// The done counts of the plain progress lines "<what>: N of <total> rows", in the order printed.
inline std::vector<int> progressCounts(const std::string& out, const std::string& what, int total) {
    const std::regex line(what + ": ([0-9]+) of " + std::to_string(total) + " rows");
    std::vector<int> counts;
    std::smatch m;
    for (size_t at = 0; at < out.size();) {
        const size_t end = std::min(out.find('\n', at), out.size());
        const std::string text = out.substr(at, end - at);
        if (std::regex_match(text, m, line)) counts.push_back(std::stoi(m[1]));
        at = end + 1;
    }
    return counts;
}

}  // namespace vz::test
