#pragma once
// The byte stream of a controller that speaks both protocols, split into direct module access
// frames and SLIP frames.
//
// The first two bytes of a frame decide. An IP packet always starts 45 00 (IPv4, no options, type
// of service 0); a direct frame starting 45 would be an assignment to a serial number with bits
// 25..18 = 0x45, whose header is never 00. A leading END (C0) is told from the module byte of
// channel 64 by what follows: another END or 45 make it an END, since no request to channel 64
// has the header C0 or 45. A direct frame whose check byte is wrong is dropped and the search for
// a frame start goes on from its second byte, so line noise does not swallow the SLIP frame behind
// it.
#include <cstdint>
#include <vector>

#include "sim/slip.h"

namespace vsim {

struct LineItem {
    bool packet = false;  // true: the decoded contents of a SLIP frame; false: a direct frame
    std::vector<uint8_t> bytes;
};

class LineDemux {
  public:
    // One byte that arrived at timeUs; returns the frames it completed (direct frames only with a
    // good check byte). A pause of more than gapUs drops a frame that is half received.
    std::vector<LineItem> push(uint8_t byte, int64_t timeUs);

    // Direct frames with a bad check byte and broken SLIP frames dropped so far.
    uint32_t dropped() const { return dropped_; }

    static constexpr int64_t gapUs = 20000;

  private:
    enum class State { Idle, FirstByte, Direct, Slip };
    void feed(uint8_t byte, std::vector<LineItem>& out);
    void directByte(uint8_t byte, std::vector<LineItem>& out);

    State state_ = State::Idle;
    uint8_t first_ = 0;
    std::vector<uint8_t> direct_;
    SlipDecoder slip_;
    int64_t lastUs_ = 0;
    uint32_t dropped_ = 0;
};

}  // namespace vsim
