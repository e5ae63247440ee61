#pragma once
// The access firmware's side of the serial link once it runs: an autobaud handshake, then host
// packets 01 66 99 seq len(2) check(2) data, each acknowledged with 8 bytes (ACK 0x06 or NAK 0x15)
// and answered with a reply packet 01 99 66 rseq len(2) 00 00 data that carries its own sequence.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/controller.h"
#include "sim/tms320_counters.h"
#include "sim/tms320_fault.h"
#include "sim/tms320_memory.h"

namespace vsim {

class Tms320PacketPort {
  public:
    Tms320PacketPort(Tms320Memory& memory, std::vector<DspFault>& faults, Tms320Counters& counters);

    // One byte from the host that arrived at timeUs; returns what the firmware sends back.
    std::vector<Controller::Reply> receive(uint8_t byte, int64_t timeUs);

  private:
    std::vector<Controller::Reply> complete(int64_t timeUs);
    std::vector<uint8_t> acknowledgement(bool ack) const;

    Tms320Memory& memory_;
    std::vector<DspFault>& faults_;
    Tms320Counters& counters_;
    bool locked_ = false;  // autobaud done
    std::vector<uint8_t> packet_;
    int64_t lastByteUs_ = 0;
    uint8_t replySequence_ = 0;  // of the next reply
};

}  // namespace vsim
