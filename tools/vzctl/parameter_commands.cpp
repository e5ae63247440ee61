#include "tools/vzctl/parameter_commands.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

#include "base/controller_type.h"
#include "base/number_parse.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "channel/parameter_access.h"
#include "channel/parameter_table.h"

namespace vz::ctl {
namespace {

int badArguments(const std::string& why) {
    std::fprintf(stderr, "vzctl: %s\n", why.c_str());
    return 2;
}

bool parseChannel(const std::string& text, int& channel) {
    std::string ignored;
    const auto v = parseInteger(text, 0, kChannelCount - 1, ignored);
    if (v) channel = static_cast<int>(*v);
    return v.has_value();
}

// The channel with its configuration as the module holds it now; nullptr (and the reason on standard
// error) when there is none to show.
QOR* readChannel(int n) {
    if (!channelPresent(n)) {
        std::fprintf(stderr, "vzctl: channel U%d is not present\n", n);
        return nullptr;
    }
    QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(n)];
    if (!q.configurable()) {
        std::fprintf(stderr, "vzctl: U%d is not a configurable output\n", n);
        return nullptr;
    }
    if (q.system().readFromModule() != 0 || q.user().readFromModule() != 0) {
        std::fprintf(stderr, "vzctl: the configuration of U%d could not be read\n", n);
        return nullptr;
    }
    return &q;
}

// A key of the table that the controller's modules have; nullptr after saying why not. A name without
// its record ("Unom") stands for the one parameter of that name the modules have.
const ParameterInfo* parameterFor(const std::string& key) {
    const ParameterInfo* p = findParameter(key);
    if (!p && key.find('.') == std::string::npos) {
        const ParameterInfo* user = findParameter("user." + key);
        const ParameterInfo* system = findParameter("system." + key);
        if (user && !parameterExists(*user, crateSettings().controllerType)) user = nullptr;
        if (system && !parameterExists(*system, crateSettings().controllerType)) system = nullptr;
        if (user && system) {
            badArguments("\"" + key + "\" is user." + key + " or system." + key + ": say which");
            return nullptr;
        }
        p = user ? user : system;
    }
    if (!p) {
        badArguments("no parameter \"" + key + "\" (vzctl get CHANNEL lists them)");
        return nullptr;
    }
    if (!parameterExists(*p, crateSettings().controllerType)) {
        badArguments(key + " is not a parameter of this controller's modules" +
                     (crateSettings().controllerType == kWdx
                          ? " (on WDX, user bytes 2 to 9 hold ugain and igain)"
                          : ""));
        return nullptr;
    }
    return p;
}

// Whether this command line may write the parameter. User data always; the system record (hardware
// maxima, exponents, identification, calibration) is factory data and needs -ac, as the dialogs,
// `calibrate` and `load --calibration` do. On WDX the output configuration dialog edits the three
// supervision maxima without -ac, and so does `set`.
bool mayWrite(const ParameterInfo& p) {
    const std::string key = p.key;
    if (key.rfind("system.", 0) != 0) return true;
    if (crateSettings().fCmdLine & kExpertView) return true;
    return crateSettings().controllerType == kWdx &&
           (key == "system.maxUSense" || key == "system.maxCurrent" || key == "system.maxPower");
}

// A physical value as a number, optionally followed by the parameter's unit ("5 V", "1.5A", "250 mV").
// A decimal comma counts as a point ("12,5"), as in the dialogs; a text with both is refused.
bool parsePhysical(const std::string& given, const ParameterInfo& p, double& value, std::string& why) {
    std::string text = given;
    if (text.find(',') != std::string::npos && text.find('.') == std::string::npos &&
        text.find(',') == text.rfind(','))
        text[text.find(',')] = '.';
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str()) {
        why = "\"" + given + "\" is not a number";
        return false;
    }
    std::string unit = end;
    unit.erase(0, unit.find_first_not_of(' '));
    unit.erase(unit.find_last_not_of(' ') + 1);
    if (unit.empty()) return true;
    const std::string symbol = unitSymbol(p.unit);
    if (!symbol.empty() && unit == symbol) return true;
    if (!symbol.empty() && unit == "m" + symbol) {
        value /= 1000.0;
        return true;
    }
    why = "\"" + given + "\": " + p.key + (symbol.empty() ? " takes a plain number" : " is in " + symbol);
    return false;
}

std::string jsonNumberOrText(const QOR& q, const ParameterInfo& p) {
    const ParameterValue raw = readParameter(q, p);
    const auto number = std::visit([](auto v) { return static_cast<double>(v); }, raw);
    char text[64];
    const bool physical =
        p.unit == ParameterUnit::volts || p.unit == ParameterUnit::amperes || p.unit == ParameterUnit::gain;
    std::snprintf(text, sizeof text, "%.10g", physical ? physicalValue(q, p) : number);
    return text;
}

std::string valueText(const QOR& q, const ParameterInfo& p) {
    char text[96];
    const ParameterValue raw = readParameter(q, p);
    const auto number = std::visit([](auto v) { return static_cast<double>(v); }, raw);
    switch (p.unit) {
        case ParameterUnit::bits:
            std::snprintf(text, sizeof text, p.width() == 4 ? "0x%08X" : "0x%04X",
                          static_cast<unsigned>(number));
            break;
        case ParameterUnit::exponents:
            std::snprintf(text, sizeof text, "0x%04X (voltage %d, current %d)", static_cast<unsigned>(number),
                          q.system().voltageExponent, q.system().currentExponent);
            break;
        case ParameterUnit::volts:
        case ParameterUnit::amperes:
        case ParameterUnit::gain:
            std::snprintf(text, sizeof text, "%.10g", physicalValue(q, p));
            break;
        default:
            std::snprintf(text, sizeof text, "%.0f", number);
            break;
    }
    std::string line = std::string(p.key) + " " + text;
    if (*unitSymbol(p.unit)) line += std::string(" ") + unitSymbol(p.unit);
    return line;
}

}  // namespace

int checkParameterWords(const std::string& command, const std::vector<std::string>& words) {
    int n = 0;
    if (command == "get" && (words.empty() || words.size() > 2 || !parseChannel(words[0], n)))
        return badArguments("get needs a channel number 0..126 and may name one KEY");
    if (command == "set" && (words.size() != 3 || !parseChannel(words[0], n)))
        return badArguments("set needs a channel number 0..126, a KEY and a VALUE");
    if (words.size() < 2) return -1;
    // Which record a bare name means depends on the controller; that it names something does not.
    const std::string& key = words[1];
    const ParameterInfo* p = findParameter(key);
    if (!p && key.find('.') == std::string::npos) {
        p = findParameter("user." + key);
        if (!p) p = findParameter("system." + key);
    }
    if (!p) return badArguments("no parameter \"" + key + "\" (vzctl get CHANNEL lists them)");
    double physical = 0;
    if (std::string why; command == "set" && !parsePhysical(words[2], *p, physical, why))
        return badArguments(why);
    return -1;
}

int getCommand(const std::vector<std::string>& words, bool json, std::FILE* out) {
    int n = 0;
    if (words.empty() || words.size() > 2 || !parseChannel(words[0], n))
        return badArguments("get needs a channel number 0..126 and may name one KEY");
    const ParameterInfo* only = nullptr;
    if (words.size() == 2 && !(only = parameterFor(words[1]))) return 2;
    const QOR* q = readChannel(n);
    if (!q) return 1;
    if (json) {
        // One object: the channel, then each parameter by key with its value in the unit it names.
        std::fprintf(out, "{\n  \"channel\": %d", n);
        for (const ParameterInfo& p : kParameters)
            if ((only == nullptr && parameterExists(p, crateSettings().controllerType)) || only == &p)
                std::fprintf(out, ",\n  \"%s\": {\"value\": %s, \"unit\": \"%s\"}", p.key,
                             jsonNumberOrText(*q, p).c_str(), unitSymbol(p.unit));
        std::fprintf(out, "\n}\n");
        return 0;
    }
    for (const ParameterInfo& p : kParameters)
        if ((only == nullptr && parameterExists(p, crateSettings().controllerType)) || only == &p)
            std::fprintf(out, "%s\n", valueText(*q, p).c_str());
    return 0;
}

int setCommand(const std::vector<std::string>& words, std::FILE* out) {
    int n = 0;
    if (words.size() != 3 || !parseChannel(words[0], n))
        return badArguments("set needs a channel number 0..126, a KEY and a VALUE");
    const ParameterInfo* p = parameterFor(words[1]);
    if (!p) return 2;
    if (!mayWrite(*p))
        return badArguments(std::string(p->key) +
                            " is factory data of the module (system record): set it only with option -ac");
    const std::string& text = words[2];
    double physical = 0;
    if (std::string why; !parsePhysical(text, *p, physical, why)) return badArguments(why);
    QOR* q = readChannel(n);  // the exponents the module holds now convert volts and amperes
    if (!q) return 1;
    const std::optional<ParameterValue> raw = valueFromPhysical(*q, *p, physical);
    if (!raw) {
        std::string why = text + " is not a value of " + p->key;
        if (p->raw16Scaled()) {
            char range[96];
            const bool volts = p->unit == ParameterUnit::volts;
            std::snprintf(range, sizeof range, " (%.10g to %.10g %s with this module's exponent)",
                          volts ? q->voltageFromRaw(-32768) : q->currentFromRaw(-32768),
                          volts ? q->voltageFromRaw(32767) : q->currentFromRaw(32767), unitSymbol(p->unit));
            why += range;
        }
        return badArguments(why);
    }
    if (!setParameter(*q, *p, *raw)) {
        std::fprintf(stderr, "vzctl: U%d %s was not accepted by the module\n", n, p->key);
        return 1;
    }
    // What the module holds now, read back rather than assumed.
    if (!readChannel(n)) return 1;
    std::fprintf(out, "U%d %s\n", n, valueText(*q, *p).c_str());
    return 0;
}

}  // namespace vz::ctl
