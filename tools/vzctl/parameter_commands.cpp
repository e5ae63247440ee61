#include "tools/vzctl/parameter_commands.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

#include "base/controller_type.h"
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
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < 0 || v >= kChannelCount) return false;
    channel = static_cast<int>(v);
    return true;
}

// The channel with its configuration as the module holds it now; nullptr (and the reason on standard
// error) when there is none to show.
QOR* readChannel(int n) {
    if (!channelPresent(n)) {
        std::fprintf(stderr, "vzctl: channel U%d is not present\n", n);
        return nullptr;
    }
    QOR& q = channelTable.channels[static_cast<std::size_t>(n)];
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

// A key of the table that the controller's modules have; nullptr after saying why not.
const ParameterInfo* parameterFor(const std::string& key) {
    const ParameterInfo* p = findParameter(key);
    if (!p) {
        badArguments("no parameter \"" + key + "\" (vzctl get CHANNEL lists them)");
        return nullptr;
    }
    if (!parameterExists(*p, controllerType)) {
        badArguments(key + " is not a parameter of this controller's modules" +
                     (controllerType == kWdx ? " (on WDX, user bytes 2 to 9 hold ugain and igain)" : ""));
        return nullptr;
    }
    return p;
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

int getCommand(const std::vector<std::string>& words, std::FILE* out) {
    int n = 0;
    if (words.empty() || words.size() > 2 || !parseChannel(words[0], n))
        return badArguments("get needs a channel number 0..126 and may name one KEY");
    const ParameterInfo* only = nullptr;
    if (words.size() == 2 && !(only = parameterFor(words[1]))) return 2;
    const QOR* q = readChannel(n);
    if (!q) return 1;
    for (const ParameterInfo& p : kParameters)
        if ((only == nullptr && parameterExists(p, controllerType)) || only == &p)
            std::fprintf(out, "%s\n", valueText(*q, p).c_str());
    return 0;
}

int setCommand(const std::vector<std::string>& words, std::FILE* out) {
    int n = 0;
    if (words.size() != 3 || !parseChannel(words[0], n))
        return badArguments("set needs a channel number 0..126, a KEY and a VALUE");
    const ParameterInfo* p = parameterFor(words[1]);
    if (!p) return 2;
    const std::string& text = words[2];
    char* end = nullptr;
    const double physical = std::strtod(text.c_str(), &end);
    if (text.empty() || *end) return badArguments("\"" + text + "\" is not a number");
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
