#pragma once
// One simulated USB serial bridge: its line settings, modem lines and the timing of the bytes
// between the host and the controller behind it.
#include <cstdint>
#include <deque>
#include <memory>

#include "sim/controller.h"
#include "sim/scenario.h"
#include "sim/tms320.h"

namespace vsim {

class BridgeLine {
  public:
    explicit BridgeLine(const BridgeDef& def);

    BridgeInfo info;
    bool plugged;
    bool open = false;
    uint32_t baud = 9600;  // the bridge's power-on setting
    uint16_t lineControl = 0x0800;
    bool rts = false;
    bool dtr = false;

    Controller& controller() { return *controller_; }
    // The controller's processor: whether the controller firmware runs at all, and the boot loader and
    // access firmware that answer while it does not.
    Tms320& dsp() { return *dsp_; }
    // The controller understands the host only with these settings.
    bool lineMatches() const { return baud == 115200 && lineControl == 0x0810; }
    // The processor's boot loader and the access firmware talk 8N1 at the same rate.
    bool bootLineMatches() const { return baud == 115200 && lineControl == 0x0800; }
    // RTS and DTR as the host drives them; edges reset the processor.
    void setLines(bool rtsActive, bool dtrActive);
    // Hands written bytes to the controller at nowUs and schedules its replies.
    void send(const uint8_t* data, size_t length, int64_t nowUs);
    // Time the next byte becomes readable, if any is queued.
    bool nextByteTime(int64_t& timeUs) const;
    // Takes bytes that are readable at nowUs.
    size_t take(uint8_t* buffer, size_t length, int64_t nowUs);
    size_t readable(int64_t nowUs) const;
    // Drops what has arrived; bytes still on the wire arrive later, as on the real line.
    void purge(int64_t nowUs);
    // Power cycle on replug: settings back to power-on values, queues empty, the processor boots
    // from flash.
    void reset();

  private:
    struct TimedByte {
        int64_t atUs;
        uint8_t value;
    };
    int64_t wireUs(size_t bytes) const;

    std::unique_ptr<Controller> controller_;
    std::unique_ptr<Tms320> dsp_;
    bool lineRate_;
    std::deque<TimedByte> rx_;
    int64_t txFreeUs_ = 0;  // end of the last host byte on the wire
    int64_t rxFreeUs_ = 0;  // end of the last reply byte on the wire
};

}  // namespace vsim
