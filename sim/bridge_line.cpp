#include "sim/bridge_line.h"

#include <algorithm>

namespace vsim {
namespace {
// 115200 baud with start, 8 data, parity and stop bit: 11 bits a byte.
constexpr int64_t kBitsPerByte = 11;
constexpr int64_t kBaud = 115200;
}  // namespace

BridgeLine::BridgeLine(const BridgeDef& def)
    : info(def.info),
      plugged(def.plugged),
      controller_(std::make_unique<Controller>(def.crate)),
      dsp_(std::make_unique<Tms320>(def.crate.controller.dsp)),
      lineRate_(def.crate.controller.lineRate) {}

int64_t BridgeLine::wireUs(size_t bytes) const {
    if (!lineRate_) return 0;
    // Rounded up so that a byte is never readable before its last bit.
    return (static_cast<int64_t>(bytes) * kBitsPerByte * 1000000 + kBaud - 1) / kBaud;
}

void BridgeLine::setLines(bool rtsActive, bool dtrActive) {
    rts = rtsActive;
    dtr = dtrActive;
    dsp_->setLines(rtsActive, dtrActive);
}

void BridgeLine::send(const uint8_t* data, size_t length, int64_t nowUs) {
    // At another baud rate or framing the controller firmware sees only noise.
    if (dsp_->runsControllerFirmware() && !lineMatches()) return;
    const int64_t start = std::max(nowUs, txFreeUs_);
    for (size_t i = 0; i < length; ++i) {
        const int64_t arrived = start + wireUs(i + 1);
        txFreeUs_ = arrived;
        const auto replies = dsp_->runsControllerFirmware()
                                 ? controller_->receive(data[i], arrived)
                                 : dsp_->receive(data[i], arrived, bootLineMatches());
        for (const Controller::Reply& reply : replies) {
            const int64_t replyStart = std::max(reply.readyUs, rxFreeUs_);
            for (size_t k = 0; k < reply.bytes.size(); ++k)
                rx_.push_back({replyStart + wireUs(k + 1), reply.bytes[k]});
            rxFreeUs_ = replyStart + wireUs(reply.bytes.size());
        }
    }
}

bool BridgeLine::nextByteTime(int64_t& timeUs) const {
    if (rx_.empty()) return false;
    timeUs = rx_.front().atUs;
    return true;
}

size_t BridgeLine::take(uint8_t* buffer, size_t length, int64_t nowUs) {
    size_t n = 0;
    while (n < length && !rx_.empty() && rx_.front().atUs <= nowUs) {
        buffer[n++] = rx_.front().value;
        rx_.pop_front();
    }
    return n;
}

size_t BridgeLine::readable(int64_t nowUs) const {
    return static_cast<size_t>(
        std::count_if(rx_.begin(), rx_.end(), [&](const TimedByte& b) { return b.atUs <= nowUs; }));
}

void BridgeLine::purge(int64_t nowUs) {
    while (!rx_.empty() && rx_.front().atUs <= nowUs) rx_.pop_front();
}

void BridgeLine::reset() {
    open = false;
    baud = 9600;
    lineControl = 0x0800;
    rts = dtr = false;
    rx_.clear();
    dsp_->powerOn();
}

}  // namespace vsim
