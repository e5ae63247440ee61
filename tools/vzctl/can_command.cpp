#include "tools/vzctl/can_command.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/clock.h"
#include "base/controller_type.h"
#include "base/settings.h"
#include "canfw/bootload.h"
#include "canfw/device_table.h"
#include "canfw/firmware_hex_reader.h"
#include "canfw/updater_mailbox.h"
#include "channel/channel_table.h"
#include "tools/vzctl/file_checks.h"
#include "tools/vzctl/progress_line.h"

namespace vz::ctl {
namespace {

std::atomic<bool> stopRequested{false};
void onInterrupt(int) {
    stopRequested = true;
}

int usage(const std::string& text) {
    std::fprintf(stderr, "vzctl: usage: can %s\n", text.c_str());
    return 2;
}

bool parseChannel(const std::string& text, int& channel) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < 0 || v > 126) return false;
    channel = static_cast<int>(v);
    return true;
}

// What the worker reported while a batch of jobs ran.
struct Outcome {
    std::vector<UpdaterMessage> messages;  // all but log lines
    bool stopped = false;                  // Ctrl-C
    const UpdaterMessage* last(int kind) const {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (it->kind == kind) return &*it;
        return nullptr;
    }
};

class Updater {
  public:
    explicit Updater(bool showLog) : showLog_(showLog) { updater_.startWorker(mailbox_); }
    ~Updater() { updater_.closeUpdater(); }
    CBootload& operator*() { return updater_; }
    CBootload* operator->() { return &updater_; }

    // Runs what was queued to its end, printing the log lines on standard error and, for long
    // jobs, a progress bar (or plain lines when standard error is no terminal). Ctrl-C stops the
    // job at its next safe point.
    Outcome run(const char* what = nullptr) {
        Outcome o;
        ProgressLine line(stderr);
        int lastPlain = -1;
        for (;;) {
            const bool idle = updater_.queuedJobs() == 0;
            auto handle = [&](UpdaterMessage& m) {
                if (m.kind == kMsgLog) {
                    if (showLog_) {
                        line.clear();
                        std::fputs(m.text().c_str(), stderr);
                    }
                } else {
                    o.messages.push_back(std::move(m));
                }
            };
            // What has arrived, without waiting; then the progress; then a short wait for more.
            int taken = 0;
            for (; taken < 200; ++taken) {
                auto m = mailbox_.take(0);
                if (!m) break;
                handle(*m);
            }
            if (idle && taken < 200) break;
            if (stopRequested && !o.stopped) {
                o.stopped = true;
                line.clear();
                std::fprintf(stderr, "\nvzctl: stopping at the next safe point ...\n");
                updater_.closeUpdater();  // waits for the job to reach it; queued jobs are dropped
                updater_.startWorker(mailbox_);
                stopRequested = false;  // what follows (restarting the application) runs to its end
                continue;
            }
            const int done = updater_.progress().done, total = updater_.progress().total;
            if (what && total > 0) {
                if (line.active()) {
                    const int width = 30, filled = width * done / total;
                    line.show(std::string(what) + " [" + std::string(filled, '#') +
                              std::string(width - filled, '.') + "] " + std::to_string(done) + "/" +
                              std::to_string(total) + " rows");
                } else if (done / 50 != lastPlain / 50 || (done == total && lastPlain != done)) {
                    std::fprintf(stderr, "%s: %d of %d rows\n", what, done, total);
                    lastPlain = done;
                }
            }
            if (taken == 0)
                if (auto m = mailbox_.take(50)) handle(*m);
        }
        const int done = updater_.progress().done, total = updater_.progress().total;
        if (what && total > 0 && !line.active() && done != lastPlain)
            std::fprintf(stderr, "%s: %d of %d rows\n", what, done, total);
        return o;
    }

  private:
    bool showLog_;
    UpdaterMailbox mailbox_;
    CBootload updater_;
};

bool identify(Updater& u, int channel, DeviceInfo& device) {
    u->queueIdentify(channel);
    const Outcome o = u.run();
    const UpdaterMessage* m = o.last(kMsgDeviceFound);
    if (!m || m->data.size() != sizeof device) {
        std::fprintf(stderr, "vzctl: U%d: no boot loader answered\n", channel);
        return false;
    }
    std::memcpy(&device, m->data.data(), sizeof device);
    return true;
}

// 1 boot loader, 2 application, 3 update application, 0 unknown.
uint32_t runningType(Updater& u, int channel) {
    u->queueReadRunningType(channel);
    const Outcome o = u.run();
    const UpdaterMessage* m = o.last(kMsgRunningType);
    return m ? m->value() : 0;
}

const char* runningName(uint32_t type) {
    switch (type) {
        case 1:
            return "bootloader";
        case 2:
            return "application";
        case 3:
            return "update application";
        default:
            return "unknown";
    }
}

// The jobs that write or read memory need the boot loader.
bool bootLoaderRuns(Updater& u, int channel) {
    if (runningType(u, channel) == 1) return true;
    u->queueStartFirmware(channel, true);
    const Outcome o = u.run();
    if (!o.last(kMsgStarted)) {
        std::fprintf(stderr, "vzctl: U%d: the boot loader did not start\n", channel);
        return false;
    }
    return true;
}

std::string stateAfter(Updater& u, int channel) {
    return runningName(runningType(u, channel));
}

int listCommand(bool json, std::FILE* out) {
    Updater u(false);
    nlohmann::json all = nlohmann::json::array();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (!channelPresent(ch)) continue;
        u->queueIdentify(ch);
        u->queueReadVersion(ch, false);
        u->queueReadVersion(ch, true);
        u->queueReadRunningType(ch);
        const Outcome o = u.run();
        DeviceInfo d = moduleOnly(ch);
        if (const auto* m = o.last(kMsgDeviceFound); m && m->data.size() == sizeof d)
            std::memcpy(&d, m->data.data(), sizeof d);
        const auto* bl = o.last(kMsgBootVersion);
        const auto* app = o.last(kMsgAppVersion);
        const auto* run = o.last(kMsgRunningType);
        const std::string blText = bl ? bl->text().c_str() : "-";
        const std::string appText = app ? app->text().c_str() : "-";
        const char* running = runningName(run ? run->value() : 0);
        DeviceLookup found;
        const bool programmable = lookupDevice(d.deviceID, d.procID, found) && found.layout;
        if (json) {
            all.push_back({{"channel", ch},
                           {"processor", d.name},
                           {"programmable", programmable},
                           {"bootLoader", blText},
                           {"application", appText},
                           {"running", running}});
        } else {
            std::fprintf(out, "U%-3d %-14s%s  boot loader %s  application %s  running: %s\n", ch, d.name,
                         programmable ? "" : " (not supported)", blText.c_str(), appText.c_str(), running);
        }
    }
    if (json) std::fprintf(out, "%s\n", all.dump(2).c_str());
    return 0;
}

int backupCommand(int channel, std::string path, std::FILE* out) {
    // Where the file goes is checked before the module is put into its boot loader.
    std::string why;
    if (std::filesystem::is_directory(path) ? !writableDirectory(path, why) : !writableFile(path, why)) {
        std::fprintf(stderr, "vzctl: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    Updater u(true);
    DeviceInfo d;
    if (!identify(u, channel, d)) return 1;
    // A directory gets the proposed name: module, processor family and the local time.
    if (std::filesystem::is_directory(path))
        path = proposedBackupName(path.back() == '/' ? path : path + "/", channel, d.family,
                                  clock().localWallUs());
    const bool applicationRan = runningType(u, channel) == 2;
    if (!bootLoaderRuns(u, channel)) return 1;
    u->queueBackup(d, path);
    const Outcome o = u.run("backup");
    const bool ok = u->failedJobs() == 0 && !o.stopped && access(path.c_str(), R_OK) == 0;
    if (applicationRan) {
        u->queueStartFirmware(channel, false);
        u.run();
    }
    if (o.stopped) {
        std::fprintf(stderr,
                     "vzctl: backup stopped; no file written; U%d runs its %s, its memory is unchanged\n",
                     channel, stateAfter(u, channel).c_str());
        return 1;
    }
    if (!ok) return 1;
    std::fprintf(out, "U%d: backup written to %s\n", channel, path.c_str());
    return 0;
}

// The firmware type a file announces (0 when none), to tell boot-loader files from applications.
int fileFirmwareType(const std::string& path) {
    RowImage rows;
    ParameterMap parameters;
    const auto quiet = [](const std::string&) {};
    const bool ok = loadFirmwareHex(path, 0, rows, parameters, quiet);
    return deriveFirmwareSettings(parameters, ok, quiet).firmwareType;
}

int programCommand(int channel, const std::string& path, bool overwrite, bool restore, std::FILE* out) {
    // A file that is no firmware image is refused before the module leaves its application.
    std::string why;
    if (!readableFile(path, why)) {
        std::fprintf(stderr, "vzctl: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    {
        RowImage rows;
        ParameterMap parameters;
        if (!loadFirmwareHex(path, 0, rows, parameters, [](const std::string&) {})) {
            std::fprintf(stderr, "vzctl: %s: not an Intel HEX firmware file; nothing was written\n", path.c_str());
            return 1;
        }
    }
    Updater u(true);
    DeviceInfo d;
    if (!identify(u, channel, d)) return 1;
    if (!bootLoaderRuns(u, channel)) return 1;
    const bool bootloaderFile = !restore && fileFirmwareType(path) == kBootLoaderFirmware;
    u->queueProgram(d, kProgramMemory, path, bootloaderFile, overwrite || overwriteSystemConfig, false,
                    restore);
    if (restore) u->queueProgram(d, kEepromMemory, path, false, false, false, true);
    const Outcome o = u.run(restore ? "restore" : "program");
    const bool ok = !o.stopped && u->failedJobs() == 0 && o.last(kMsgProgrammed);
    if (o.stopped) {
        std::fprintf(stderr,
                     "vzctl: programming stopped between two rows; U%d runs its %s and needs a new "
                     "program run before its application can start\n",
                     channel, stateAfter(u, channel).c_str());
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "vzctl: programming U%d failed (see the log above); it runs its %s\n", channel,
                     stateAfter(u, channel).c_str());
        return 1;
    }
    std::fprintf(out, "U%d: %s %s\n", channel, restore ? "restored from" : "programmed with", path.c_str());
    return 0;
}

int startCommand(int channel, bool bootLoader, std::FILE* out) {
    Updater u(true);
    u->queueStartFirmware(channel, bootLoader);
    const Outcome o = u.run();
    if (!o.last(kMsgStarted)) return 1;
    std::fprintf(out, "U%d: %s started\n", channel, bootLoader ? "boot loader" : "application");
    return 0;
}

}  // namespace

int canCommand(const std::vector<std::string>& w, bool json, std::FILE* out) {
    if (w.empty()) return usage("list|backup|program|restore|start ...");
    if (controllerType != kQx308) {
        std::fprintf(
            stderr,
            "vzctl: module firmware updates are offered for QX308 controllers only (this controller has "
            "type %d)\n",
            controllerType.load());
        return 1;
    }
    stopRequested = false;
    std::signal(SIGINT, onInterrupt);
    int channel = 0;
    const std::string& sub = w[0];
    if (sub == "list") {
        if (w.size() != 1) return usage("list");
        return listCommand(json, out);
    }
    if (sub == "backup") {
        if (w.size() != 3 || !parseChannel(w[1], channel)) return usage("backup CH FILE");
        return backupCommand(channel, w[2], out);
    }
    if (sub == "program") {
        const bool overwrite = w.size() == 4 && w[3] == "--overwrite-config";
        if ((w.size() != 3 && !overwrite) || !parseChannel(w[1], channel))
            return usage("program CH FILE [--overwrite-config]");
        return programCommand(channel, w[2], overwrite, false, out);
    }
    if (sub == "restore") {
        if (w.size() != 3 || !parseChannel(w[1], channel)) return usage("restore CH FILE");
        return programCommand(channel, w[2], false, true, out);
    }
    if (sub == "start") {
        if (w.size() != 3 || !parseChannel(w[1], channel) || (w[2] != "bootloader" && w[2] != "application"))
            return usage("start CH bootloader|application");
        return startCommand(channel, w[2] == "bootloader", out);
    }
    return usage("list|backup|program|restore|start ...");
}

}  // namespace vz::ctl
