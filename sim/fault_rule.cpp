#include "sim/fault_rule.h"

#include <array>
#include <string>

namespace vsim {
namespace {
constexpr std::array<const char*, 16> kNames{
    "noReply",        "shortReply",    "corruptCheck", "moduleError",  "refuse",         "writeFail",
    "slow",           "corruptBuffer", "moduleSilent", "noSuchObject", "noSuchInstance", "endOfMibView",
    "wrongRequestId", "versionZero",   "malformedBer", "garbage"};
}

bool ruleFires(FaultRule& rule, const ExchangeKey& key, std::mt19937& random) {
    if (rule.channel >= 0 && rule.channel != key.channel) return false;
    if (rule.operation && *rule.operation != key.operation) return false;
    if (rule.address && (!key.address || *rule.address != *key.address)) return false;
    const int n = ++rule.matched;
    if (n <= rule.after) return false;
    if ((n - rule.after - 1) % rule.everyNth != 0) return false;
    if (rule.count > 0 && rule.fired >= rule.count) return false;
    if (rule.probability < 1.0) {
        // Scaled by hand: the standard distributions differ between libraries, the engine does not.
        const double draw = static_cast<double>(random()) / 4294967296.0;
        if (draw >= rule.probability) return false;
    }
    ++rule.fired;
    return true;
}

bool snmpOnly(FaultKind kind) {
    return kind >= FaultKind::NoSuchObject;
}

const char* faultKindName(FaultKind kind) {
    return kNames[static_cast<size_t>(kind)];
}

std::optional<FaultKind> faultKindFromName(const std::string& name) {
    for (size_t i = 0; i < kNames.size(); ++i)
        if (name == kNames[i]) return static_cast<FaultKind>(i);
    return std::nullopt;
}

}  // namespace vsim
