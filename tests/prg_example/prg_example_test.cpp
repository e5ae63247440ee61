// The C example of the flash programming library, run as another tool would run it: it opens a serial
// device (here the far end of a pseudo-terminal, served by the virtual crate's processor held in its
// ROM boot loader), downloads the access firmware and reads the part id.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <string>

#include "sim/tms320.h"

namespace {

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Outcome {
    int status = -1;
    std::string out;
    uint32_t packets = 0;
};

// The example and the access firmware of the build tree; the package test names the example built
// against the installed library and the installed firmware instead.
const char* fromEnvironment(const char* name, const char* fallback) {
    const char* value = getenv(name);
    return value && value[0] ? value : fallback;
}

// Runs the example against the processor until it exits (a bound only a hang reaches).
Outcome runExample(vsim::Tms320& dsp) {
    Outcome r;
    const char* example = fromEnvironment("VZ_PRG_EXAMPLE", VZ_PRG_EXAMPLE);
    const char* firmware = fromEnvironment("VZ_ACCESS_FIRMWARE", VZ_ACCESS_FIRMWARE);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
    const std::string slave = ptsname(master);
    int out[2];
    if (pipe(out) != 0) return r;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        close(out[0]);
        close(master);
        execl(example, "prg_part_id", slave.c_str(), firmware, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    struct Timed {
        int64_t atUs;
        uint8_t byte;
    };
    std::deque<Timed> toHost;
    const int64_t deadline = nowUs() + 120'000'000;
    int status = 0;
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {out[0], POLLIN, 0}};
        poll(fds, 2, 1);
        uint8_t buffer[512];
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i)
                for (const auto& reply : dsp.receive(buffer[i], nowUs(), true))
                    for (uint8_t b : reply.bytes) toHost.push_back({reply.readyUs, b});
        }
        while (!toHost.empty() && toHost.front().atUs <= nowUs()) {
            const uint8_t b = toHost.front().byte;
            if (write(master, &b, 1) != 1) break;
            toHost.pop_front();
        }
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            r.out.append(reinterpret_cast<char*>(buffer), n);
        if (waitpid(child, &status, WNOHANG) == child) break;
        if (nowUs() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            r.out += "\n(killed after 120 s)";
            break;
        }
    }
    uint8_t rest[512];
    for (ssize_t n; (n = read(out[0], rest, sizeof rest)) > 0;)
        r.out.append(reinterpret_cast<char*>(rest), n);
    close(out[0]);
    close(master);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.packets = dsp.counters().packets;
    return r;
}

TEST(PrgExample, ReadsThePartIdOfTheVirtualProcessorThroughASerialDevice) {
    vsim::Tms320Def def;
    def.partId = 2;
    def.revisionId = 5;
    vsim::Tms320 dsp(def);
    // As the firmware dialog leaves it before the library takes over: reset released with DTR active,
    // so its ROM boot loader waits for the autobaud byte.
    dsp.setLines(true, true);
    dsp.setLines(false, true);
    ASSERT_EQ(dsp.state(), vsim::Tms320State::RomBootLoader);
    const Outcome r = runExample(dsp);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Connected at 115200 baud"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("part id 0x0002 revision 0x0005"), std::string::npos) << r.out;
    EXPECT_EQ(dsp.state(), vsim::Tms320State::AccessFirmware);
}

TEST(PrgExample, AProcessorThatIsNotInItsBootLoaderFailsTheExample) {
    vsim::Tms320Def def;
    vsim::Tms320 dsp(def);
    dsp.setLines(true, false);  // held in reset: nothing answers the autobaud
    const Outcome r = runExample(dsp);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Autobaud failed before loading application"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("part id"), std::string::npos) << r.out;
}

}  // namespace
