#pragma once
// Runs the real vzctl binary as a script would and collects its exit status and output.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace vz::test {

struct Outcome {
    int status;
    std::string out;  // standard output and standard error together
};

inline Outcome vzctl(const std::string& args) {
    const std::string command = std::string(VZCTL_PATH) + " " + args + " 2>&1";
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

}  // namespace vz::test
