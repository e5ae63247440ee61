#include "tools/vzctl/ctrl_command.h"

#include <atomic>
#include <csignal>
#include <nlohmann/json.hpp>

#include "base/debug_log.h"
#include "ctrlfw/controller_update.h"
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
    std::fprintf(stderr, "vzctl: usage: ctrl %s\n", text.c_str());
    return 2;
}

// Log lines on standard error, a progress bar on a terminal (plain lines at every tenth otherwise);
// Ctrl-C stops the running transfer at its next packet.
class TerminalSinks {
  public:
    explicit TerminalSinks(ControllerUpdate& update) : update_(update), line_(stderr) {
        // The log's texts are printed here, between redraws of the progress bar; the debug log keeps
        // only its warnings and errors on standard error meanwhile.
        setDebugLogStderrLevel(2);
        update.setLogSink([this](const std::string& text) {
            // The dots that follow each packet say what the bar shows already.
            if (text == "." && barShown_) return;
            line_.clear();
            std::string t = text;
            for (size_t at; (at = t.find("\r\n")) != std::string::npos;) t.erase(at, 1);
            std::fputs(t.c_str(), stderr);
            std::fflush(stderr);
            checkStop();
        });
        update.setProgressSink([this](UpdateStep step, int done, int total) {
            static const char* const names[] = {"erase", "program", "verify"};
            const char* name = names[static_cast<int>(step)];
            if (total > 0 && line_.active()) {
                barShown_ = true;
                const int width = 30, filled = width * done / total;
                line_.show(std::string(name) + " [" + std::string(filled, '#') +
                           std::string(width - filled, '.') + "] " + std::to_string(done) + "/" +
                           std::to_string(total));
            } else if (total > 0 && (done * 10 / total != lastTenth_ || done == 0)) {
                lastTenth_ = done * 10 / total;
                std::fprintf(stderr, "\n%s: %d of %d\n", name, done, total);
            }
            checkStop();
        });
    }
    ~TerminalSinks() {
        setDebugLogStderrLevel(3);
        update_.setLogSink(nullptr);
        update_.setProgressSink(nullptr);
    }

  private:
    void checkStop() {
        if (stopRequested.exchange(false)) {
            line_.clear();
            std::fprintf(stderr, "\nvzctl: stopping at the next packet ...\n");
            update_.cancel();
        }
    }
    ControllerUpdate& update_;
    ProgressLine line_;
    int lastTenth_ = -1;
    bool barShown_ = false;
};

const PrgInterface& driver() {
    const PrgInterface* prg = nullptr;
    PrgGetInterface(&prg);
    return *prg;
}

int infoCommand(bool json, std::FILE* out) {
    ControllerUpdate update(driver());
    bool ok;
    {
        TerminalSinks sinks(update);
        ok = update.readDevice();
        update.reset();
        std::fputs("\n", stderr);
    }
    if (!ok) {
        std::fprintf(stderr, "vzctl: the controller's processor could not be read (see above)\n");
        return 1;
    }
    if (json) {
        const nlohmann::json doc = {{"partId", update.partText()},
                                    {"revision", update.revisionText()},
                                    {"firmware", update.currentFirmware()},
                                    {"bootLoader", update.currentBootloader()}};
        std::fprintf(out, "%s\n", doc.dump(2).c_str());
    } else {
        std::fprintf(out, "part id      %s\nrevision     %s\nfirmware     %s\nboot loader  %s\n",
                     update.partText().c_str(), update.revisionText().c_str(),
                     update.currentFirmware().c_str(), update.currentBootloader().c_str());
    }
    return 0;
}

struct ProgramOptions {
    std::string file;
    bool eraseBootloader = false;
    bool eraseFirmware = false;
    bool verify = true;
    bool dryRun = false;
};

// Why a run that did not succeed ended, in the words the operator acts on.
std::string runFailure(const ControllerUpdate& update) {
    const bool runs = update.started().value_or(false);
    if (update.refused()) return "refused (see above): nothing was erased or written";
    if (update.cancelled() && !update.flashTouched())
        return runs ? "stopped before anything was erased; the controller runs as before"
                    : "stopped before anything was erased";
    if (update.cancelled()) return "stopped; the flash is incomplete, program it again";
    if (!update.stepsSucceeded()) return "the update failed (see above); program it again";
    return "every step succeeded, but the controller does not start; program it again";
}

int programCommand(const ProgramOptions& o, std::FILE* out) {
    // A file that cannot be read is turned away before the processor is touched.
    if (std::string why; !readableFile(o.file, why)) {
        std::fprintf(stderr, "vzctl: %s: %s\n", o.file.c_str(), why.c_str());
        return 1;
    }
    ControllerUpdate update(driver());
    bool ok = false, resetDone = false;
    std::string failure;
    {
        TerminalSinks sinks(update);
        if (!update.readDevice()) {
            failure = update.cancelled() ? "stopped before anything was erased"
                                         : "the controller's processor could not be read";
        } else if (!update.prepare(o.file)) {
            failure = "the file is refused: " + update.rejectReason() + "; nothing was written";
        } else {
            const ControllerUpdateSteps steps = stepsForImage(static_cast<FlashImageType>(update.imageType()),
                                                              o.eraseBootloader, o.eraseFirmware, o.verify);
            ok = o.dryRun ? update.dryRun(steps) : update.run(steps);
            resetDone = true;
            if (!ok && o.dryRun)
                failure = update.refused() ? "the plan is refused (see above); nothing was erased or written"
                          : update.cancelled() ? "stopped; nothing was erased or written"
                                               : "the controller's processor could not be checked";
            else if (!ok)
                failure = runFailure(update);
        }
        // Whatever failed, the processor leaves its boot loader and runs its flash again.
        if (!resetDone) update.reset();
        std::fputs("\n", stderr);
    }
    if (!ok) {
        std::fprintf(stderr, "vzctl: %s\n", failure.c_str());
        return 1;
    }
    const std::string version = update.newImageText().empty() ? "no version text" : update.newImageText();
    if (o.dryRun) {
        std::fprintf(out, "%sdry run: %s (%s) can be programmed; nothing was erased or written\n",
                     update.planText(update.lastPlan()).c_str(), o.file.c_str(), version.c_str());
        return 0;
    }
    if (update.started().value_or(false))
        std::fprintf(out, "programmed %s (%s); the controller runs\n", o.file.c_str(), version.c_str());
    else
        std::fprintf(out, "programmed %s (%s); the controller does not start: %s\n", o.file.c_str(),
                     version.c_str(), update.lastPlan().noStartReason.c_str());
    return 0;
}

}  // namespace

int ctrlCommand(const std::vector<std::string>& w, bool json, std::FILE* out) {
    stopRequested = false;
    installStopSignals(onInterrupt);
    if (w.empty()) return usage("info|program ...");
    if (w[0] == "info") {
        if (w.size() != 1) return usage("info");
        return infoCommand(json, out);
    }
    if (w[0] == "program") {
        static const char* const kProgramUsage =
            "program FILE [--erase-bootloader] [--erase-firmware] [--no-verify] [--dry-run]";
        ProgramOptions o;
        for (size_t i = 1; i < w.size(); ++i) {
            if (w[i] == "--erase-bootloader")
                o.eraseBootloader = true;
            else if (w[i] == "--erase-firmware")
                o.eraseFirmware = true;
            else if (w[i] == "--no-verify")
                o.verify = false;
            else if (w[i] == "--dry-run")
                o.dryRun = true;
            else if (o.file.empty() && !w[i].empty() && w[i][0] != '-')
                o.file = w[i];
            else
                return usage(kProgramUsage);
        }
        if (o.file.empty()) return usage(kProgramUsage);
        return programCommand(o, out);
    }
    return usage("info|program ...");
}

}  // namespace vz::ctl
