#include "tools/vzctl/ctrl_command.h"

#include <atomic>
#include <csignal>
#include <nlohmann/json.hpp>

#include "base/debug_log.h"
#include "ctrlfw/controller_update.h"
#include "tools/vzctl/file_checks.h"
#include "tools/vzctl/progress_line.h"

namespace vz::ctl {
namespace {

std::atomic<bool> stopRequested{false};
void onInterrupt(int) { stopRequested = true; }

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
                line_.show(std::string(name) + " [" + std::string(filled, '#') + std::string(width - filled, '.') +
                           "] " + std::to_string(done) + "/" + std::to_string(total));
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
                     update.partText().c_str(), update.revisionText().c_str(), update.currentFirmware().c_str(),
                     update.currentBootloader().c_str());
    }
    return 0;
}

int programCommand(const std::string& file, bool eraseBootloader, bool verify, std::FILE* out) {
    // A file that cannot be read is turned away before the processor is touched.
    if (std::string why; !readableFile(file, why)) {
        std::fprintf(stderr, "vzctl: %s: %s\n", file.c_str(), why.c_str());
        return 1;
    }
    ControllerUpdate update(driver());
    bool ok = false, resetDone = false;
    const char* failure = nullptr;
    {
        TerminalSinks sinks(update);
        if (!update.readDevice()) {
            failure = "the controller's processor could not be read";
        } else if (!update.prepare(file)) {
            failure = "the file is no controller firmware image (see above); nothing was written";
        } else {
            ControllerUpdateSteps steps;
            steps.eraseBootloader = eraseBootloader;
            steps.verify = verify;
            ok = update.run(steps);
            resetDone = true;
            if (!ok) failure = update.cancelled() ? "stopped; the flash is incomplete, program it again"
                                                  : "the update failed (see above); program it again";
        }
        // Whatever failed, the processor leaves its boot loader and runs its flash again.
        if (!resetDone) update.reset();
        std::fputs("\n", stderr);
    }
    if (!ok) {
        std::fprintf(stderr, "vzctl: %s\n", failure);
        return 1;
    }
    std::fprintf(out, "programmed %s (%s)\n", file.c_str(),
                 update.newImageText().empty() ? "no version text" : update.newImageText().c_str());
    return 0;
}

}  // namespace

int ctrlCommand(const std::vector<std::string>& w, bool json, std::FILE* out) {
    stopRequested = false;
    std::signal(SIGINT, onInterrupt);
    if (w.empty()) return usage("info|program ...");
    if (w[0] == "info") {
        if (w.size() != 1) return usage("info");
        return infoCommand(json, out);
    }
    if (w[0] == "program") {
        std::string file;
        bool eraseBootloader = false, verify = true;
        for (size_t i = 1; i < w.size(); ++i) {
            if (w[i] == "--erase-bootloader")
                eraseBootloader = true;
            else if (w[i] == "--no-verify")
                verify = false;
            else if (file.empty() && !w[i].empty() && w[i][0] != '-')
                file = w[i];
            else
                return usage("program FILE [--erase-bootloader] [--no-verify]");
        }
        if (file.empty()) return usage("program FILE [--erase-bootloader] [--no-verify]");
        return programCommand(file, eraseBootloader, verify, out);
    }
    return usage("info|program ...");
}

}  // namespace vz::ctl
