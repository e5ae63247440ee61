// The controller's flash: the virtual time of erasing, programming and verifying a full firmware image
// against the least time the protocol allows (its fixed waits, and the device's own erase time where
// that is longer), with the virtual crate in line-rate mode; and the CPU time of importing a COFF
// image per MiB of section data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/settings.h"
#include "bench/bench_metrics.h"
#include "channel/channel_table.h"
#include "ctrlfw/controller_update.h"
#include "ctrlfw/flash_image.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/usb_link.h"
#include "sim/tms320.h"
#include "sim/tms320_access_commands.h"
#include "sim/virtual_crate.h"
#include "tests/support/coff_writer.h"
#include "virtual_bridge/virtual_bridge_driver.h"

namespace vz::bench {
namespace {

// A firmware image over the whole firmware area: pseudo-random code, no blank chunk, a version block.
std::string fullFirmwareImage(size_t& sectionBytes) {
    const std::string path = "/tmp/vzbench_full_firmware.out";
    std::vector<vztest::CoffWriterSection> sections;
    uint32_t state = 4711;
    for (uint32_t at = 0x3D8000; at < 0x3F3F00; at += 0x4000) {
        vztest::CoffWriterSection s;
        s.name = ".text" + std::to_string(sections.size());
        s.address = at;
        const uint32_t words = std::min<uint32_t>(0x4000, 0x3F3F00 - at);
        for (uint32_t i = 0; i < words; ++i) {
            state = state * 1103515245 + 12345;
            s.words.push_back(static_cast<uint16_t>(state >> 16) & 0x7FFF);
        }
        sections.push_back(std::move(s));
    }
    sections.push_back({".fwversion", 0x3F3FF5, vztest::versionWords("BENCH-FW 1.00   ")});
    sectionBytes = 0;
    for (const auto& s : sections) sectionBytes += 2 * s.words.size();
    vztest::CoffWriterOptions options;
    options.entryPoint = 0x3D8000;
    if (!vztest::writeCoffFile(path, options, sections)) throw std::runtime_error("cannot write " + path);
    return path;
}

// The access firmware the program downloads, found through the search path.
void provideAccessFirmware() {
    std::vector<vztest::CoffWriterSection> sections{{".text", 0x8000, std::vector<uint16_t>(600, 0x1234)}};
    vztest::CoffWriterOptions options;
    options.entryPoint = 0x8000;
    vztest::writeCoffFile("/tmp/F2812SerialFlash.out", options, sections);
    setenv("VIDIZOZOREZ_FIRMWARE_PATH", "/tmp", 1);
}

// txDelay: 11 bit times a byte at 115200 baud, in whole milliseconds.
int64_t txDelayMs(int64_t bytes) {
    return bytes * 110 / 1152;
}

void ctrlFlashFullImage(benchmark::State& state) {
    size_t bytes = 0;
    const std::string path = fullFirmwareImage(bytes);
    provideAccessFirmware();
    for (auto _ : state) {
        VirtualClock virtualClock;
        setClock(&virtualClock);
        resetSettings();
        crateSettings().portName = "SIM";
        resetChannelTable();
        resetCommProblem();
        std::string error;
        auto crate = vsim::VirtualCrate::fromJsonText(
            R"({"bridges": [{"serial": "BENCH", "vid": "1A2B", "pid": "0012"}],
                "controller": {"type": 18, "lineRate": true}, "modules": []})",
            error);
        if (!crate) throw std::runtime_error(error);
        vsim::VirtualCrate* c = crate.get();
        VirtualBridgeDriver driver(std::move(crate));
        setBridge(&driver);
        linkState().usbInfo = UsbInfo{};
        if (!usbOpen(linkState().usbInfo)) throw std::runtime_error("the virtual crate did not open");
        const PrgInterface* prg = nullptr;
        PrgGetInterface(&prg);
        ControllerUpdate update(*prg);
        int writes = 0, verifies = 0;
        update.setProgressSink([&](UpdateStep step, int, int total) {
            if (step == UpdateStep::Program) writes = total;
            if (step == UpdateStep::Verify) verifies = total;
        });
        if (!update.readDevice() || !update.prepare(path)) state.SkipWithError("no connection or no image");
        ControllerUpdateSteps steps;  // erase C-J, program, verify
        const vsim::Tms320Counters before = c->dsp(0).counters();
        const int64_t startUs = virtualClock.nowUs();
        if (!update.run(steps)) state.SkipWithError("the update failed");
        const double elapsed = static_cast<double>(virtualClock.nowUs() - startUs) / 1e3;
        const int packets = static_cast<int>(c->dsp(0).counters().packets - before.packets);
        const int erases = 8;
        if (packets != erases + writes + verifies) state.SkipWithError("unexpected packet count");

        // Each exchange: the wait after sending (the packet and its acknowledgement), then the wait
        // before reading a reply of up to 248 bytes, or the device's erase time when that is longer.
        const int64_t recvWait = txDelayMs(248 + 8) + 1;
        const int64_t commandWait = txDelayMs(20 + 16) + 1;
        const int64_t writeWait = txDelayMs(20 + 228 + 16) + 1;
        const int64_t eraseMs = vsim::kEraseSectorUs / 1000 + txDelayMs(10);
        const double limit = static_cast<double>(erases * (commandWait + std::max(recvWait, eraseMs)) +
                                                 writes * (writeWait + recvWait) +
                                                 verifies * (commandWait + recvWait) + 200 /* reset */);
        reportMetric("ctrl_flash_time_to_limit_ratio", elapsed / limit);
        reportMetric("ctrl_flash_seconds", elapsed / 1e3);
        usbClose();
        setBridge(nullptr);
        setClock(nullptr);
    }
    std::remove(path.c_str());
}
BENCHMARK(ctrlFlashFullImage)->Iterations(1)->Unit(benchmark::kMillisecond);

void coffImport(benchmark::State& state) {
    size_t bytes = 0;
    const std::string path = fullFirmwareImage(bytes);
    FlashImage image;
    for (auto _ : state) {
        const int rounds = 20;
        const double cpuStart = processCpuSeconds();
        for (int i = 0; i < rounds; ++i)
            if (image.importCoff(path.c_str()) != 0) state.SkipWithError("import failed");
        const double cpuMs = (processCpuSeconds() - cpuStart) * 1e3 / rounds;
        reportMetric("coff_import_cpu_ms_per_mib", cpuMs / (static_cast<double>(bytes) / (1024.0 * 1024.0)));
    }
    std::remove(path.c_str());
}
BENCHMARK(coffImport)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vz::bench
