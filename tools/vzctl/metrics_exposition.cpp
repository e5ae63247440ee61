#include "tools/vzctl/metrics_exposition.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <optional>

#include "base/controller_type.h"

namespace vz::ctl {
namespace {

constexpr int16_t kMarkerLow = -32768;  // module voltage and temperature markers, not values
constexpr int16_t kMarkerHigh = 32767;

// The error flags of the status word (bits 7..15), as label values.
struct ErrorBit {
    uint16_t bit;
    const char* name;
};
constexpr ErrorBit kErrorBits[] = {
    {1u << 11, "sense_voltage_low"}, {1u << 12, "sense_voltage_high"},   {1u << 13, "terminal_voltage_high"},
    {1u << 14, "current_high"},      {1u << 15, "temperature_high"},     {1u << 10, "power_high"},
    {1u << 9, "reserved"},           {1u << 8, "communication_timeout"}, {1u << 7, "self_test_failed"},
};
constexpr uint16_t kErrorMask = 0xFF80;

void appendNumber(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return;
    }
    if (std::isinf(v)) {
        out += v > 0 ? "+Inf" : "-Inf";
        return;
    }
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
}

void appendInteger(std::string& out, uint64_t v) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
}

void header(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

struct ChannelFamily {
    const char* name;
    const char* type;
    const char* help;
    // The value for a channel, or nothing when the channel has none (kind, controller, marker).
    std::function<std::optional<double>(const QOR&, int channel)> value;
};

}  // namespace

std::string escapedLabelValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string metricsText(const CrateSnapshot& s, int64_t nowUs) {
    std::string out;
    int present = 0;
    for (const QOR& q : s.channels) present += q.present() ? 1 : 0;
    // One allocation for the whole text (about 1.5 KB a channel): growing a string of some hundred KB
    // step by step costs more in page faults than the formatting itself.
    out.reserve(8 * 1024 + static_cast<std::size_t>(present) * 2048);
    const std::string crate = "crate=\"" + escapedLabelValue(s.serial) + "\"";
    const auto crateLine = [&](const char* name, const std::string& extraLabels, double v) {
        out += name;
        out += '{';
        out += crate;
        out += extraLabels;
        out += "} ";
        appendNumber(out, v);
        out += '\n';
    };

    header(out, "vidizozorez_crate_up", "gauge",
           "1 while the crate controller answers, 0 while it does not.");
    crateLine("vidizozorez_crate_up", "", s.up ? 1 : 0);
    header(out, "vidizozorez_crate_info", "gauge", "The crate controller's kind, as a label; always 1.");
    crateLine("vidizozorez_crate_info", ",controller=\"" + escapedLabelValue(s.controller) + "\"", 1);
    header(out, "vidizozorez_polling_ticks_total", "counter",
           "Polling ticks done (one channel read per tick).");
    crateLine("vidizozorez_polling_ticks_total", "", static_cast<double>(s.ticks));
    header(out, "vidizozorez_link_usb_reads_total", "counter",
           "Reads from the crate controller's USB bridge.");
    crateLine("vidizozorez_link_usb_reads_total", "", static_cast<double>(s.counters.usbReads));
    header(out, "vidizozorez_link_usb_writes_total", "counter",
           "Writes to the crate controller's USB bridge.");
    crateLine("vidizozorez_link_usb_writes_total", "", static_cast<double>(s.counters.usbWrites));
    header(out, "vidizozorez_link_retries_total", "counter", "Exchanges repeated after a failed attempt.");
    crateLine("vidizozorez_link_retries_total", ",direction=\"read\"",
              static_cast<double>(s.counters.readRetries));
    crateLine("vidizozorez_link_retries_total", ",direction=\"write\"",
              static_cast<double>(s.counters.writeRetries));
    header(out, "vidizozorez_link_module_errors_total", "counter",
           "Exchanges a module answered with its error status.");
    crateLine("vidizozorez_link_module_errors_total", ",direction=\"read\"",
              static_cast<double>(s.counters.moduleReadErrors));
    crateLine("vidizozorez_link_module_errors_total", ",direction=\"write\"",
              static_cast<double>(s.counters.moduleWriteErrors));
    header(out, "vidizozorez_link_given_up_total", "counter",
           "Times the crate stopped answering through all retries and was given up.");
    crateLine("vidizozorez_link_given_up_total", "", static_cast<double>(s.counters.givenUp));
    header(out, "vidizozorez_link_reconnect_attempts_total", "counter",
           "Attempts to reach a crate that had stopped answering.");
    crateLine("vidizozorez_link_reconnect_attempts_total", "",
              static_cast<double>(s.counters.reconnectAttempts));

    const bool moduleVoltage = s.controllerType == kQx308 || s.controllerType == kKrat;
    const bool setPoints = s.controllerType != kWdx;
    const auto measuring = [](const QOR& q) { return q.configurable(); };
    const std::vector<ChannelFamily> families = {
        {"vidizozorez_channel_sense_voltage_volts", "gauge", "Output voltage at the sense point.",
         [&](const QOR& q, int) -> std::optional<double> {
             if (!measuring(q)) return std::nullopt;
             return q.voltageFromRaw(q.uSense);
         }},
        {"vidizozorez_channel_module_voltage_volts", "gauge", "Output voltage at the module's terminals.",
         [&](const QOR& q, int) -> std::optional<double> {
             if (!measuring(q) || !moduleVoltage || q.uTerminal == kMarkerLow || q.uTerminal == kMarkerHigh)
                 return std::nullopt;
             return q.voltageFromRaw(q.uTerminal);
         }},
        {"vidizozorez_channel_current_amperes", "gauge", "Output current.",
         [&](const QOR& q, int) -> std::optional<double> {
             if (!measuring(q)) return std::nullopt;
             return q.currentFromRaw(q.current);
         }},
        {"vidizozorez_channel_set_voltage_volts", "gauge", "Nominal output voltage set (user record Unom).",
         [&](const QOR& q, int) -> std::optional<double> {
             if (!measuring(q) || !setPoints) return std::nullopt;
             return q.voltageFromRaw(q.user().Unom);
         }},
        {"vidizozorez_channel_current_limit_amperes", "gauge", "Current limit set (user record Inom).",
         [&](const QOR& q, int) -> std::optional<double> {
             if (!measuring(q) || !setPoints) return std::nullopt;
             return q.currentFromRaw(q.user().Inom);
         }},
        {"vidizozorez_channel_temperature_celsius", "gauge", "The module's hotspot temperature.",
         [&](const QOR& q, int) -> std::optional<double> {
             if (!measuring(q) || !s.measuresTemperature || q.temperature == kMarkerLow ||
                 q.temperature == kMarkerHigh)
                 return std::nullopt;
             return q.temperature;
         }},
        {"vidizozorez_channel_on", "gauge", "1 while the output is switched on (status bit 0).",
         [](const QOR& q, int) -> std::optional<double> { return (q.status & 0x1) ? 1 : 0; }},
        {"vidizozorez_channel_inhibited", "gauge", "1 while the output is inhibited (status bit 4).",
         [](const QOR& q, int) -> std::optional<double> { return (q.status & 0x10) ? 1 : 0; }},
        {"vidizozorez_channel_current_limited", "gauge", "1 while the output runs at its current limit.",
         [](const QOR& q, int) -> std::optional<double> { return (q.status & 0x8) ? 1 : 0; }},
        {"vidizozorez_channel_tripped", "gauge", "1 while any error flag of the status word is set.",
         [](const QOR& q, int) -> std::optional<double> { return (q.status & kErrorMask) ? 1 : 0; }},
        {"vidizozorez_channel_status_word", "gauge", "The module's 16-bit status word.",
         [](const QOR& q, int) -> std::optional<double> { return q.status; }},
        {"vidizozorez_channel_last_read_age_seconds", "gauge",
         "Time since the channel's measurements were last read without error.",
         [&](const QOR&, int channel) -> std::optional<double> {
             const int64_t at = s.lastGoodReadUs[static_cast<std::size_t>(channel)];
             if (at < 0) return std::nullopt;
             return static_cast<double>(nowUs - at) / 1e6;
         }},
    };

    // The label set of every present channel, built once per scrape.
    std::array<std::string, kChannelCount> labels;
    for (int i = 0; i < kChannelCount; ++i) {
        const QOR& q = s.channels[static_cast<std::size_t>(i)];
        if (!q.present()) continue;
        std::string& l = labels[static_cast<std::size_t>(i)];
        l = '{' + crate + ",channel=\"U";
        appendInteger(l, static_cast<uint64_t>(i));
        l += "\",module_serial=\"";
        appendInteger(l, q.foundSerial);
        l += '"';
    }
    for (const ChannelFamily& f : families) {
        header(out, f.name, f.type, f.help);
        for (int i = 0; i < kChannelCount; ++i) {
            const QOR& q = s.channels[static_cast<std::size_t>(i)];
            if (!q.present()) continue;
            const std::optional<double> v = f.value(q, i);
            if (!v) continue;
            out += f.name;
            out += labels[static_cast<std::size_t>(i)];
            out += "} ";
            appendNumber(out, *v);
            out += '\n';
        }
    }
    // Only the flags that are set: nine series a channel that are nearly always 0 would double the text.
    header(out, "vidizozorez_channel_error", "gauge",
           "1 while the error flag named by the label is set; absent while it is not.");
    for (int i = 0; i < kChannelCount; ++i) {
        const QOR& q = s.channels[static_cast<std::size_t>(i)];
        if (!q.present()) continue;
        for (const ErrorBit& e : kErrorBits) {
            if (!(q.status & e.bit)) continue;
            out += "vidizozorez_channel_error";
            out += labels[static_cast<std::size_t>(i)];
            out += ",error=\"";
            out += e.name;
            out += "\"} 1\n";
        }
    }
    return out;
}

}  // namespace vz::ctl
