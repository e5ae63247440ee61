#include "tools/vzctl/calibrate_command.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>

#include "base/clock.h"
#include "base/number_parse.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/measurement_block.h"
#include "dialogs/calibration_wizard.h"
#include "dialogs/formless_controls.h"
#include "dialogs/fresh_samples.h"
#include "link/bridge.h"
#include "link/usb_link.h"
#include "tools/vzctl/meter_command.h"

namespace vz::ctl {
namespace {

int refuse(const std::string& why, int status) {
    std::fprintf(stderr, "vzctl: %s\n", why.c_str());
    return status;
}

std::set<int> calibrationControls() {
    std::set<int> ids{cal::kMessage};
    for (int id = 1052; id <= 1099; ++id) ids.insert(id);
    return ids;
}

// The virtual crate's multimeter on the channel's output.
std::optional<double> simMeter(int channel, bool current, std::string& error) {
    ReferenceMeter* meter = bridge() ? bridge()->referenceMeter() : nullptr;
    if (!meter) {
        error = "--meter sim needs the virtual crate (port SIM)";
        return std::nullopt;
    }
    return meter->readOutput(channel, current, error);
}

bool readBlock0(int channel, MODULE_MEASURE_DATA& m) {
    return readMeasurementBlock(channel, 0, &m) == 0;
}

// Waits for a ramp to end, then takes ten fresh samples: what the list's repaints give the dialog.
FreshSamples settleAndSample(int channel, MeasurementAverages& averages) {
    return measureFreshSamples([channel](MODULE_MEASURE_DATA& d) { return readBlock0(channel, d); },
                               averages);
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    std::string out;
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
    return out;
}

}  // namespace

int calibrateCommand(const std::vector<std::string>& words, std::FILE* out) {
    int channel = -1;
    std::string kind, meter;
    int timeoutS = 60;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& a = words[i];
        if (a == "--meter" || a == "--meter-timeout") {
            if (i + 1 >= words.size() || words[i + 1].empty()) return refuse(a + " needs a value", 2);
            if (a == "--meter") {
                meter = words[++i];
            } else {
                std::string why;
                const auto v = parseInteger(words[++i], 1, 3600, why);
                if (!v) return refuse("--meter-timeout needs 1..3600 seconds: " + why, 2);
                timeoutS = static_cast<int>(*v);
            }
        } else if (channel < 0) {
            std::string why;
            const auto v = parseInteger(a, 0, kChannelCount - 1, why);
            if (!v) return refuse("calibrate needs a channel number 0..126: " + why, 2);
            channel = static_cast<int>(*v);
        } else if (kind.empty()) {
            kind = a;
        } else {
            return refuse("calibrate: unexpected \"" + a + "\"", 2);
        }
    }
    if (channel < 0 || (kind != "voltage" && kind != "current") || meter.empty())
        return refuse("calibrate CH voltage|current --meter CMD", 2);
    if (!(crateSettings().fCmdLine & kExpertView))
        return refuse("calibrate rewrites the module's factory calibration: only in the expert view (-ac)",
                      1);
    if (!channelPresent(channel)) return refuse("channel U" + std::to_string(channel) + " is not present", 1);
    QOR& q = channelState().channelTable.channels[static_cast<size_t>(channel)];
    if (!q.configurable())
        return refuse(
            "channel U" + std::to_string(channel) + " is not a module whose calibration can be edited", 1);
    if (q.system().readFromModule() != 0 || q.user().readFromModule() != 0)
        return refuse("the configuration of U" + std::to_string(channel) + " could not be read", 1);
    // An output that is off reads zero at both points: the pairs computed from that mean nothing.
    if (MODULE_MEASURE_DATA m; !readBlock0(channel, m) || !(m.status & 1))
        return refuse("U" + std::to_string(channel) +
                          " is off or does not report: switch it on first (vzctl on " +
                          std::to_string(channel) + ")",
                      1);

    const bool current = kind == "current";
    const char* unit = current ? "A" : "V";
    FormlessControls controls(calibrationControls());
    CalibrationHooks hooks;
    CalibrationWizard* self = nullptr;
    int unsettled = 0;
    hooks.measureFresh = [&] {
        const FreshSamples result = settleAndSample(channel, self->averages());
        if (result == FreshSamples::taken) return true;
        std::fprintf(stderr, "vzctl: UInternal not calibrated: %s\n", freshSamplesText(result));
        ++unsettled;
        return false;
    };
    int refused = 0, clamped = 0;
    hooks.calibrated = [&](const CalibrationOutcome& o) {
        std::fprintf(out, "  %-9s gain %5u -> %5u   offset %6d -> %6d%s%s\n", calQuantityName(o.quantity),
                     o.before.gain, o.after.gain, o.before.offset, o.after.offset,
                     o.accepted ? "" : "   (refused by the module)",
                     o.clamped ? "   (CLAMPED: the computed pair does not fit 16 bits)" : "");
        if (!o.accepted) ++refused;
        if (o.clamped) ++clamped;
    };
    hooks.restored = [&](const std::string& line) { std::fprintf(out, "  %s\n", line.c_str()); };
    CalibrationWizard wizard(controls, crateSettings().controllerType, hooks);
    self = &wizard;
    wizard.setChannel(&q);

    std::fprintf(out, "U%d %s calibration, meter: %s\n", channel, kind.c_str(), meter.c_str());
    current ? wizard.toggleCurrent() : wizard.toggleVoltage();
    while (wizard.running()) {
        std::fprintf(out, "step %d: %s\n", wizard.state(), oneLine(wizard.message()).c_str());
        std::fflush(out);
        if (const FreshSamples result = settleAndSample(channel, wizard.averages());
            result != FreshSamples::taken) {
            wizard.toggleVoltage();  // stops; the settings the wizard changed are put back
            return refuse(std::string("calibration stopped: ") + freshSamplesText(result), 1);
        }
        std::string error;
        const std::optional<double> value = meter == "sim" ? simMeter(channel, current, error)
                                                           : runMeterCommand(meter, timeoutS * 1000, error);
        if (!value) {
            wizard.toggleVoltage();  // stops; the settings the wizard changed are put back
            return refuse("calibration stopped: " + error, 1);
        }
        std::fprintf(out, "  meter: %.6f %s\n", *value, unit);
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", *value);
        controls.type(controls.focus(), text);
        wizard.step();
    }
    const FreshSamples last = settleAndSample(channel, wizard.averages());
    const MeasurementAverages& a = wizard.averages();
    std::fprintf(out, "U%d now reads: sense %.4f V, terminal %.4f V, current %.4f A\n", channel,
                 q.voltageFromRaw(a.uSense()), q.voltageFromRaw(a.uTerminal()),
                 q.currentFromRaw(a.current()));
    int failed = 0;
    if (refused) {
        std::fprintf(stderr, "vzctl: calibration incomplete: the module refused %d new pair%s\n", refused,
                     refused == 1 ? "" : "s");
        ++failed;
    }
    if (clamped) {
        std::fprintf(stderr,
                     "vzctl: calibration failed: %d pair%s did not fit 16 bits and %s written clamped; "
                     "the module does not agree with the meter\n",
                     clamped, clamped == 1 ? "" : "s", clamped == 1 ? "was" : "were");
        ++failed;
    }
    if (unsettled) {
        std::fprintf(stderr, "vzctl: calibration incomplete: UInternal was not calibrated\n");
        ++failed;
    }
    if (last != FreshSamples::taken) {
        std::fprintf(stderr, "vzctl: the readings after the calibration could not be verified: %s\n",
                     freshSamplesText(last));
        ++failed;
    }
    return failed ? 1 : 0;
}

}  // namespace vz::ctl
