#include "sim/tms320_fault.h"

#include <array>
#include <utility>

namespace vsim {
namespace {

constexpr std::array<std::pair<DspFaultKind, const char*>, 4> kNames{{
    {DspFaultKind::LostEcho, "lostEcho"},
    {DspFaultKind::LostAck, "lostAck"},
    {DspFaultKind::Nak, "nak"},
    {DspFaultKind::WrongSequence, "wrongSequence"},
}};

}  // namespace

const char* dspFaultKindName(DspFaultKind kind) {
    for (const auto& [k, name] : kNames)
        if (k == kind) return name;
    return "?";
}

std::optional<DspFaultKind> dspFaultKindFromName(const std::string& name) {
    for (const auto& [k, n] : kNames)
        if (name == n) return k;
    return std::nullopt;
}

bool dspFaultFires(std::vector<DspFault>& faults, DspFaultKind kind, std::optional<uint16_t> command) {
    bool fires = false;
    for (DspFault& f : faults) {
        if (f.kind != kind) continue;
        if (f.command && f.command != command) continue;
        if (++f.counted == f.nth && !f.fired) {
            f.fired = true;
            fires = true;
        }
    }
    return fires;
}

void restartDspFaultCounts(std::vector<DspFault>& faults, bool bootStream) {
    for (DspFault& f : faults)
        if ((f.kind == DspFaultKind::LostEcho) == bootStream) f.counted = 0;
}

}  // namespace vsim
