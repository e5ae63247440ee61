#pragma once
// Faults the controller's TMS320 injects while it is being reprogrammed, and how they are counted.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vsim {

enum class DspFaultKind {
    LostEcho,       // the nth byte of the boot stream is not echoed (the loader still takes it)
    LostAck,        // the nth packet gets no acknowledgement; it is still executed and replied
    Nak,            // the nth packet is answered with NAK and not executed
    WrongSequence,  // the reply to the nth packet carries the previous reply's sequence number
};

struct DspFault {
    DspFaultKind kind = DspFaultKind::LostEcho;
    int nth = 1;                      // 1-based, counted from the start of the stage
    std::optional<uint16_t> command;  // packet kinds: only packets with this command code count

    // Run-time state: matches counted in the current stage, and whether the fault has fired. A fault
    // fires once, so that the host's retry after a reset can succeed.
    int counted = 0;
    bool fired = false;
};

const char* dspFaultKindName(DspFaultKind kind);
std::optional<DspFaultKind> dspFaultKindFromName(const std::string& name);

// Counts a match for every fault of this kind whose command filter (if any) fits, and tells whether
// one of them reaches its nth match now for the first time.
bool dspFaultFires(std::vector<DspFault>& faults, DspFaultKind kind, std::optional<uint16_t> command);
// The start of a stage: the faults of these kinds count from zero again.
void restartDspFaultCounts(std::vector<DspFault>& faults, bool bootStream);

}  // namespace vsim
