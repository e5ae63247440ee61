#pragma once
// What a scenario says about the crate controller's TMS320: its identity, what its flash holds at
// power-on, and the faults it injects while it is being reprogrammed.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/tms320_fault.h"

namespace vsim {

struct Tms320Def {
    uint16_t partId = 1;
    uint16_t revisionId = 3;
    std::string firmwareText = "VELK-FW 3.07";    // padded with blanks to 16 characters
    std::string bootloaderText = "VELK-BL 2.03";  // empty: the boot-loader version block stays erased
    bool blank = false;                           // the flash is erased: nothing boots until programmed
    // Where the flash persists between runs: loaded at start when it exists (else the factory image),
    // saved at every reset of the processor. 0x20000 words, little-endian. Empty: not kept.
    std::string flashFile;
    std::vector<DspFault> faults;
};

}  // namespace vsim
