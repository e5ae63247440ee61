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
#include "base/number_parse.h"
#include "base/settings.h"
#include "canfw/device_table.h"
#include "canfw/firmware_checks.h"
#include "canfw/firmware_hex_reader.h"
#include "canfw/update_rules.h"
#include "canfw/updater_mailbox.h"
#include "canfw/updater_worker.h"
#include "channel/channel_table.h"
#include "tools/vzctl/file_checks.h"
#include "tools/vzctl/progress_line.h"
#include "tools/vzctl/stop_signals.h"

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
    std::string ignored;
    const auto v = parseInteger(text, 0, 126, ignored);
    if (v) channel = static_cast<int>(*v);
    return v.has_value();
}

// What the worker reported while a batch of jobs ran.
struct Outcome {
    std::vector<UpdaterMessage> messages;  // all but log lines
    bool stopped = false;                  // Ctrl-C
    uint32_t failed = 0;                   // jobs whose handler reported a failure
    int count(int kind) const {
        int n = 0;
        for (const auto& m : messages) n += m.kind == kind;
        return n;
    }
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
    CWorkerUpdateDlg& operator*() { return updater_; }
    CWorkerUpdateDlg* operator->() { return &updater_; }

    // Runs what was queued to its end, printing the log lines on standard error and, for long
    // jobs, a progress bar (or plain lines when standard error is no terminal). Ctrl-C stops the
    // job at its next safe point.
    Outcome run(const char* what = nullptr) {
        Outcome o;
        const uint32_t failedBefore = updater_.failedJobs();
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
        o.failed = updater_.failedJobs() - failedBefore;
        return o;
    }

  private:
    bool showLog_;
    UpdaterMailbox mailbox_;
    CWorkerUpdateDlg updater_;
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

// A firmware restarts for a while after it was started; the command returns once it answers, so
// that the next command in a script finds it.
bool waitUntilRuns(Updater& u, int channel, uint32_t wanted) {
    for (int attempt = 0; attempt < 30; ++attempt) {
        if (runningType(u, channel) == wanted) return true;
        clock().sleepMs(100);
    }
    return false;
}

// The destination must be a regular file (or a new name): a pipe or a device would hold the worker
// or take a partial file.
bool backupDestination(const std::string& path, std::string& why) {
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(st)) return writableDirectory(path, why);
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
        why = "not a regular file";
        return false;
    }
    return writableFile(path, why);
}

int backupCommand(int channel, std::string path, std::FILE* out) {
    // Where the file goes is checked before the module is put into its boot loader.
    std::string why;
    if (!backupDestination(path, why)) {
        std::fprintf(stderr, "vzctl: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    Updater u(true);
    DeviceInfo d;
    if (!identify(u, channel, d)) return 1;
    DeviceLookup found;
    if (!lookupDevice(d.deviceID, d.procID, found) || !found.layout) {
        std::fprintf(stderr, "vzctl: U%d: %s cannot be backed up (unknown/unsupported device); untouched\n",
                     channel, d.name);
        return 1;
    }
    // A directory gets the proposed name: module, processor family and the local time.
    if (std::filesystem::is_directory(path))
        path = proposedBackupName(path.back() == '/' ? path : path + "/", channel, d.family,
                                  clock().localWallUs());
    const bool existed = std::filesystem::exists(path);
    const uint32_t ran = runningType(u, channel);
    if (!bootLoaderRuns(u, channel)) return 1;
    u->queueBackup(d, path);
    const Outcome o = u.run("backup");
    const bool ok = o.failed == 0 && !o.stopped;
    bool readsBack = true;
    if (ok) {
        // The file is the product: it must read back whole, naming this processor.
        LoadedFirmware written;
        readsBack = loadFirmwareFile(path, d.family, written, [](const std::string&) {}) && written.hexOk &&
                    !written.report.damaged() && written.report.startSegment &&
                    written.report.startSegment->first == (d.deviceID & 0xFFFF);
    }
    bool back = true;
    if (ran == 2) {
        u->queueStartFirmware(channel, false);
        back = u.run().last(kMsgStarted) != nullptr && waitUntilRuns(u, channel, 2);
    }
    const std::string runs = stateAfter(u, channel);
    if (!ok) {
        std::fprintf(stderr, "vzctl: backup of U%d %s; no file written%s; U%d runs its %s\n", channel,
                     o.stopped ? "stopped" : "failed (see the log above)",
                     existed ? ", the earlier file is unchanged" : "", channel, runs.c_str());
        return 1;
    }
    if (!readsBack) {
        std::fprintf(
            stderr,
            "vzctl: %s: the written backup does not read back whole; do not use it; U%d runs its %s\n",
            path.c_str(), channel, runs.c_str());
        return 1;
    }
    std::fprintf(out, "U%d: backup written to %s\n", channel, path.c_str());
    if (!back) {
        std::fprintf(stderr, "vzctl: U%d: its application did not start again; it runs its %s\n", channel,
                     runs.c_str());
        return 1;
    }
    return 0;
}

std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// kind: 1 boot loader, 2 application, 3 update application, -1 by the file's name (0 for a restore).
int programCommand(int channel, const std::string& path, int kind, bool overwrite, bool restore,
                   std::FILE* out) {
    // A file that cannot serve is refused before the module is asked anything.
    std::string why;
    if (!readableFile(path, why)) {
        std::fprintf(stderr, "vzctl: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    const auto quiet = [](const std::string&) {};
    LoadedFirmware file;
    if (!loadFirmwareFile(path, 0, file, quiet) || !file.hexOk) {
        std::fprintf(stderr, "vzctl: %s: not an Intel HEX firmware file; nothing was written\n",
                     path.c_str());
        return 1;
    }
    if (file.report.damaged()) {
        std::fprintf(stderr, "vzctl: %s: HEX-file damaged (%s); nothing was written\n", path.c_str(),
                     file.report.damageText().c_str());
        return 1;
    }
    // The kind is the operator's: the name rule of the update dialog, or --kind. The file's own type
    // parameter must agree with it, so a boot loader is never written as an application.
    if (!restore && kind < 0) kind = firmwareKindByName(path);
    if (!restore && kind == 0) {
        std::fprintf(stderr,
                     "vzctl: %s: the name does not tell the kind of firmware (..._BL.HEX, ..._FW.HEX, "
                     "..._FBU.HEX); give --kind; nothing was written\n",
                     path.c_str());
        return 1;
    }
    const bool bootloaderFile = kind == kBootLoaderFirmware;

    // Then the module's identity and what it runs: refusals leave the application running.
    Updater u(true);
    DeviceInfo d;
    if (!identify(u, channel, d)) return 1;
    loadFirmwareFile(path, d.family, file, quiet);
    const uint32_t ran = runningType(u, channel);
    if (const std::string refusal = firmwareRefusal(d, file, kProgramMemory, bootloaderFile, restore, true);
        !refusal.empty()) {
        std::fprintf(stderr, "vzctl: U%d: %s\nvzctl: nothing was written; U%d runs its %s\n", channel,
                     withoutLineEnd(refusal).c_str(), channel, runningName(ran));
        return 1;
    }
    if (bootloaderFile && ran != kUpdateFirmware) {
        // The boot loader cannot rewrite itself; its update application does that.
        std::fprintf(stderr,
                     "vzctl: U%d: a boot loader is programmed from the module's update application, but it "
                     "runs its %s; nothing was written\n",
                     channel, runningName(ran));
        return 1;
    }
    if (!bootloaderFile && !bootLoaderRuns(u, channel)) return 1;

    // One job at a time: each verdict is the job's own.
    struct Step {
        int memoryType;
        const char* what;
    };
    const Step steps[] = {{kProgramMemory, restore ? "restore" : "program"},
                          {kEepromMemory, "restore EEPROM"}};
    bool ok = true, stopped = false;
    int written = 0;
    for (const Step& step : steps) {
        if (step.memoryType == kEepromMemory && !restore) break;
        u->queueProgram(d, step.memoryType, path, bootloaderFile,
                        overwrite || crateSettings().overwriteSystemConfig, false, restore);
        const Outcome o = u.run(step.what);
        written += u->progress().written;
        stopped = o.stopped;
        ok = !o.stopped && o.failed == 0 && o.count(kMsgProgrammed) == 1;
        if (!ok) break;
    }
    if (!ok) {
        // Nothing written: the module goes back to what it ran, as if it had never been asked.
        if (written == 0 && ran == kApplicationFirmware) {
            u->queueStartFirmware(channel, false);
            u.run();
        }
        std::fprintf(
            stderr, "vzctl: %s U%d %s (see the log above); %s; U%d runs its %s\n",
            restore ? "restoring" : "programming", channel, stopped ? "stopped between two rows" : "failed",
            written == 0 ? "nothing was written"
                         : "the module is incomplete and needs a new run before its application can start",
            channel, stateAfter(u, channel).c_str());
        return 1;
    }
    if (restore) {
        // The module goes back to running its application when the backup holds one.
        u->queueReadVersion(channel, true);
        const Outcome v = u.run();
        const UpdaterMessage* app = v.last(kMsgAppVersion);
        if (app && std::string(app->text().c_str()) != "unknown") {
            u->queueStartFirmware(channel, false);
            if (!u.run().last(kMsgStarted) || !waitUntilRuns(u, channel, kApplicationFirmware)) {
                std::fprintf(stderr,
                             "vzctl: U%d: restored, but its application did not start; it runs its %s\n",
                             channel, stateAfter(u, channel).c_str());
                return 1;
            }
            std::fprintf(out, "U%d: restored from %s; its application runs\n", channel, path.c_str());
        } else {
            std::fprintf(out,
                         "U%d: restored from %s; the backup holds no application, it runs its boot loader\n",
                         channel, path.c_str());
        }
        return 0;
    }
    const uint32_t wanted = bootloaderFile ? kBootLoaderFirmware : kApplicationFirmware;
    if (!waitUntilRuns(u, channel, wanted)) {
        std::fprintf(stderr,
                     "vzctl: U%d: programmed, but the started %s did not answer within 3 s; it runs its %s\n",
                     channel, runningName(wanted), stateAfter(u, channel).c_str());
        return 1;
    }
    std::fprintf(out, "U%d: programmed with %s; its %s runs\n", channel, path.c_str(), runningName(wanted));
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
    if (crateSettings().controllerType != kQx308) {
        std::fprintf(
            stderr,
            "vzctl: module firmware updates are offered for QX308 controllers only (this controller has "
            "type %d)\n",
            crateSettings().controllerType.load());
        return 1;
    }
    stopRequested = false;
    installStopSignals(onInterrupt);
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
        // program CH FILE [--overwrite-config] [--kind bootloader|application|update]
        bool overwrite = false, bad = w.size() < 3;
        int kind = -1;
        for (size_t i = 3; i < w.size() && !bad; ++i) {
            if (w[i] == "--overwrite-config") {
                overwrite = true;
            } else if (w[i] == "--kind" && i + 1 < w.size()) {
                const std::string& k = w[++i];
                kind = k == "bootloader" ? 1 : k == "application" ? 2 : k == "update" ? 3 : 0;
                bad = kind == 0;
            } else {
                bad = true;
            }
        }
        if (bad || !parseChannel(w[1], channel))
            return usage("program CH FILE [--overwrite-config] [--kind bootloader|application|update]");
        return programCommand(channel, w[2], kind, overwrite, false, out);
    }
    if (sub == "restore") {
        if (w.size() != 3 || !parseChannel(w[1], channel)) return usage("restore CH FILE");
        return programCommand(channel, w[2], 0, false, true, out);
    }
    if (sub == "start") {
        if (w.size() != 3 || !parseChannel(w[1], channel) || (w[2] != "bootloader" && w[2] != "application"))
            return usage("start CH bootloader|application");
        return startCommand(channel, w[2] == "bootloader", out);
    }
    return usage("list|backup|program|restore|start ...");
}

}  // namespace vz::ctl
