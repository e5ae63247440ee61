#pragma once
// Runs the real vzctl binary as a script would and collects its exit status and output.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace vz::test {

struct Outcome {
    int status;
    std::string out;  // standard output and standard error together
    double seconds;
};

// Never longer than 20 s: a hang ends in status 124 instead of hanging the suite.
inline Outcome vzctl(const std::string& args) {
    const std::string command = "timeout 20 " + std::string(VZCTL_PATH) + " " + args + " 2>&1";
    Outcome r{-1, {}, 0};
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

}  // namespace vz::test
