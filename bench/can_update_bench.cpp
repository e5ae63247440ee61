// Module firmware over CAN: peak memory of a full backup (in a child process), and the elapsed
// virtual time and CPU time of programming a full application image against the waits the protocol
// requires and the wire time of its exchanges, with the virtual crate in line-rate mode.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "base/clock.h"
#include "base/settings.h"
#include "bench/bench_metrics.h"
#include "canfw/hex_record.h"
#include "canfw/updater_mailbox.h"
#include "canfw/updater_worker.h"
#include "channel/channel_table.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/virtual_crate.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz::bench {
namespace {

// One dsPIC30F4011 module on a crate in line-rate mode, in virtual time.
class CanCrate {
  public:
    explicit CanCrate(const char* running) {
        const std::string json =
            std::string(R"({"bridges": [{"serial": "BENCH", "vid": "1A2B", "pid": "0010"}],
            "controller": {"type": 16, "lineRate": true, "canTimeoutMs": 0},
            "modules": [{"channel": 1, "serialNumber": 101, "processor": "dsPIC30F4011",
                         "application": {"version": "2.0.0.0", "rows": 200}, "running": ")") +
            running + R"("}]})";
        std::string error;
        auto c = vsim::VirtualCrate::fromJsonText(json, error);
        if (!c) throw std::runtime_error(error);
        crate = c.get();
        crate->recordByteLog(true);  // the wire bytes are the measure
        setClock(&clock);
        resetSettings();
        resetChannelTable();
        resetCommProblem();
        driver_ = std::make_unique<VirtualBridgeDriver>(std::move(c));
        setBridge(driver_.get());
        linkState().usbInfo = UsbInfo{};
        if (!usbOpen(linkState().usbInfo)) throw std::runtime_error("the virtual crate did not open");
        bindDirectOperations();
    }
    ~CanCrate() {
        usbClose();
        setBridge(nullptr);
        unbindOperations();
        setClock(nullptr);
    }
    size_t wireBytes() const {
        size_t n = 0;
        for (const auto& e : crate->byteLog()) n += e.bytes.size();
        return n;
    }

    VirtualClock clock;
    vsim::VirtualCrate* crate = nullptr;

  private:
    std::unique_ptr<VirtualBridgeDriver> driver_;
};

DeviceInfo dsPic30F4011() {
    DeviceInfo d;
    d.family = 0;
    d.deviceID = 0x0101;
    d.procID = 1;
    d.revisionNr = 1;
    d.dot = 2;
    d.iModuleId = 1;
    return d;
}

void runToEnd(CWorkerUpdateDlg& updater, UpdaterMailbox& mailbox) {
    while (updater.queuedJobs() != 0)
        while (mailbox.take(5)) {
        }
    while (mailbox.take(0)) {
    }
}

// An application over the whole program memory below the module's configuration row 0x7C00.
std::string fullApplication() {
    const std::string path = "/tmp/vzbench_full_application.hex";
    std::ofstream out(path);
    auto rec = [&](int type, uint32_t address, const std::vector<uint8_t>& d) {
        out << formatHexRecord(type, address, d.data(), d.size()) << "\n";
    };
    rec(0xD1, 1003, {0, 2, 0, 0, 0x01, 0x01});
    rec(0xD1, 1005, {0, 2, 0, 0, 2});
    uint32_t state = 12345;
    for (uint32_t hex = 0; hex < 2 * 0x7C00; hex += 16) {
        if ((hex & 0xFFFF) == 0)
            rec(4, 0, {static_cast<uint8_t>(hex >> 24), static_cast<uint8_t>(hex >> 16)});
        std::vector<uint8_t> d(16);
        for (int i = 0; i < 16; ++i) {
            state = state * 1103515245 + 12345;
            d[i] = (i % 4 == 3) ? 0 : static_cast<uint8_t>(state >> 16);
        }
        if (hex == 0) d = {0x00, 0x01, 0x04, 0x00, 0, 0, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0};  // GOTO 0x100
        rec(0, hex & 0xFFFF, d);
    }
    rec(1, 0, {});
    return path;
}

}  // namespace

int runBackupForPeakMemory() {
    CanCrate crate("bootloader");
    UpdaterMailbox mailbox;
    CWorkerUpdateDlg updater;
    updater.startWorker(mailbox);
    updater.queueBackup(dsPic30F4011(), "/tmp/vzbench_backup.bex");
    runToEnd(updater, mailbox);
    const bool ok = updater.failedJobs() == 0;
    updater.closeUpdater();
    std::remove("/tmp/vzbench_backup.bex");
    return ok ? 0 : 1;
}

namespace {

void backupPeakMemory(benchmark::State& state) {
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            execl("/proc/self/exe", "vzbench", kBackupChildArgument, static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the backup failed");
        reportMetric("backup_peak_rss_mib", static_cast<double>(usage.ru_maxrss) / 1024.0);
    }
}
BENCHMARK(backupPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void canProgramFullImage(benchmark::State& state) {
    const std::string path = fullApplication();
    for (auto _ : state) {
        CanCrate crate("bootloader");
        UpdaterMailbox mailbox;
        CWorkerUpdateDlg updater;
        updater.startWorker(mailbox);
        const int64_t startUs = crate.clock.nowUs();
        const double cpuStart = processCpuSeconds();
        updater.queueProgram(dsPic30F4011(), kProgramMemory, path, false, false, false);
        runToEnd(updater, mailbox);
        const double cpu = processCpuSeconds() - cpuStart;
        const double elapsed = static_cast<double>(crate.clock.nowUs() - startUs) / 1e6;
        if (updater.failedJobs() != 0 || updater.progress().total < 400)
            state.SkipWithError("programming failed");
        const double wire = wireSeconds(static_cast<double>(crate.wireBytes()));
        const double waits = 0.050 * updater.progress().total;  // one row pause before each non-empty row
        reportMetric("can_program_time_to_limit_ratio", elapsed / (waits + wire));
        reportMetric("can_program_cpu_to_wire_ratio", cpu / wire);
        updater.closeUpdater();
    }
    std::remove(path.c_str());
}
BENCHMARK(canProgramFullImage)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vz::bench
