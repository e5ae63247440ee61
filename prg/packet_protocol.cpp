#include "prg/packet_protocol.h"

#include <algorithm>
#include <cstring>

namespace vzprg {
namespace {

constexpr int kHeaderSize = 8;
constexpr uint64_t kAckTimeoutMs = 20;
// A port whose reads return at once under a clock that does not move would keep a collecting loop
// going forever; this many empty reads end it as a time-out would.
constexpr int kMaxEmptyReads = 100000;

// Reads into buffer until count bytes are there or timeoutMs has passed since start; returns the
// number collected. sleepMs is the pause between reads.
int collect(BootLink& link, uint8_t* buffer, int have, int count, uint64_t start, uint64_t timeoutMs,
            uint32_t sleepMs, bool& timedOut, bool strictlyAfter) {
    timedOut = false;
    int empty = 0;
    while (have < count) {
        const int n = SioRecvMsg(link, buffer + have, count - have);
        have += n;
        if (have >= count) break;
        const uint64_t elapsed = link.nowMs() - start;
        if ((strictlyAfter ? elapsed > timeoutMs : elapsed >= timeoutMs) ||
            (n == 0 && ++empty > kMaxEmptyReads)) {
            timedOut = true;
            break;
        }
        link.sleepMs(sleepMs);
    }
    return have;
}

void sendAcknowledgement(BootLink& link, uint8_t kind) {
    const uint8_t* p = link.packet.data();
    const uint8_t ack[kHeaderSize] = {kind, p[1], p[2], p[3], 0x00, 0x08, p[6], p[7]};
    SioSendMsg(link, ack, kHeaderSize);
}

}  // namespace

int txDelay(int bytes) {
    return bytes * 110 / 1152;
}

int PktSendMsg(BootLink& link, const uint8_t* data, int length) {
    // The frame carries 1 to 248 data bytes; an empty packet would only be refused by the other side.
    if (length > kMaxPacketData || length < 1 || !data) return 0;
    link.sendSequence = (link.sendSequence + 1) & 0xFF;
    const int total = length + kHeaderSize;
    uint8_t* p = link.packet.data();
    p[0] = 0x01;
    p[1] = 0x66;
    p[2] = 0x99;
    p[3] = static_cast<uint8_t>(link.sendSequence);
    p[4] = static_cast<uint8_t>(total >> 8);
    p[5] = static_cast<uint8_t>(total);
    p[6] = 0;  // check field: always 0
    p[7] = 0;
    std::memcpy(p + kHeaderSize, data, static_cast<size_t>(length));
    if (SioSendMsg(link, p, total) != total) return 0;

    const int waited = txDelay(length + 16) + 1;
    link.sleepMs(static_cast<uint32_t>(waited));
    link.log(kLogDebug, "PktSendMsg: waited %d ms", waited);

    uint8_t ack[kHeaderSize] = {};
    bool timedOut = false;
    const int got = collect(link, ack, 0, kHeaderSize, link.nowMs(), kAckTimeoutMs, 0, timedOut, true);
    if (timedOut) link.log(kLogError, "PktSendMsg: TIMEOUT_PKT_SEND_MSG timeout");
    if (got != kHeaderSize || ack[1] != 0x66 || ack[2] != 0x99 || ack[3] != link.sendSequence) {
        link.log(kLogError, "PktSendMsg: Wrong AckBuf data");
        return 0;
    }
    // The processor refused the packet: what it was meant to do did not happen.
    if (ack[0] == kNak) {
        link.log(kLogError, "PktSendMsg: AckOrNak = MSG_NAK");
        return 0;
    }
    return length;
}

int PktRecvMsg(BootLink& link, uint8_t* buffer, int capacity, int timeoutMs) {
    if (capacity > kMaxPacketData || capacity < 0 || (!buffer && capacity > 0)) return 0;
    const int waited = txDelay(capacity + kHeaderSize) + 1;
    link.sleepMs(static_cast<uint32_t>(waited));
    link.log(kLogDebug, "PktRecvMsg(pMsg, Count %d, timeout %d): waited %d ms", capacity, timeoutMs, waited);
    const uint64_t timeout = timeoutMs > 0 ? static_cast<uint64_t>(timeoutMs) : 100;
    const auto pause = static_cast<uint32_t>(timeout / 128);

    uint8_t* p = link.packet.data();
    std::memset(p, 0, kHeaderSize);
    const uint64_t start = link.nowMs();
    bool timedOut = false;
    int got = collect(link, p, 0, kHeaderSize, start, timeout, pause, timedOut, false);
    if (timedOut) link.log(kLogError, "PktRecvMsg: TIMEOUT_PKT_SEND_MSG timeout");
    if (got != kHeaderSize || p[0] != 0x01 || p[1] != 0x99 || p[2] != 0x66) {
        link.log(kLogError, "PktRecvMsg: Wrong AckBuf data");
        return 0;
    }
    if (p[3] == link.receiveSequence) {
        link.log(kLogError, "PktRecvMsg: RcvSeqNum == InputSequenceNumber");
        return 0;
    }
    link.receiveSequence = p[3];
    const int total = p[4] << 8 | p[5];
    if (total < kHeaderSize + 1 || total > static_cast<int>(link.packet.size())) {
        link.log(kLogError, "PktRecvMsg: AckOrNak = MSG_NAK");
        sendAcknowledgement(link, kNak);
        return 0;
    }
    got = collect(link, p, got, total, start, timeout, pause, timedOut, false);
    if (timedOut) link.log(kLogError, "PktRecvMsg: TIMEOUT_PKT_SEND_MSG timeout");
    const int dataLength = got - kHeaderSize;
    if (p[6] != 0 || p[7] != 0) {
        link.log(kLogError, "PktRecvMsg: CalcCrc != RecvCrc");
        sendAcknowledgement(link, kNak);
        return 0;
    }
    const int delivered = std::min(dataLength, capacity);
    if (delivered > 0) std::memcpy(buffer, p + kHeaderSize, static_cast<size_t>(delivered));
    sendAcknowledgement(link, kAck);
    return delivered;
}

}  // namespace vzprg
