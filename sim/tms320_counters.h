#pragma once
// What the controller's processor counted while it was being reprogrammed, for tests.
#include <cstdint>

namespace vsim {

struct Tms320Counters {
    uint32_t packets = 0;  // complete host packets, NAKed ones included
    uint32_t acks = 0;
    uint32_t naks = 0;
    uint32_t replies = 0;
    uint32_t sectorsErased = 0;
    uint32_t bootBytes = 0;  // boot stream bytes the ROM loader took
    uint32_t echoes = 0;     // bytes the ROM loader echoed, the autobaud 'A' included
};

}  // namespace vsim
