#include "sim/tms320_packet_port.h"

#include <optional>

#include "sim/tms320_access_commands.h"

namespace vsim {
namespace {

constexpr uint8_t kAutobaud = 'A';
constexpr uint8_t kStart = 0x01;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr size_t kHeader = 8;
constexpr size_t kMinPacket = 9;
constexpr size_t kMaxPacket = 256;
// A pause this long inside a packet drops what was received, so one lost byte does not swallow the
// next packet.
constexpr int64_t kPacketGapUs = 50000;

}  // namespace

Tms320PacketPort::Tms320PacketPort(Tms320Memory& memory, std::vector<DspFault>& faults,
                                   Tms320Counters& counters)
    : memory_(memory), faults_(faults), counters_(counters) {}

std::vector<Controller::Reply> Tms320PacketPort::receive(uint8_t byte, int64_t timeUs) {
    if (!locked_) {
        if (byte != kAutobaud) return {};
        locked_ = true;
        return {Controller::Reply{{byte}, timeUs}};
    }
    if (!packet_.empty() && timeUs - lastByteUs_ > kPacketGapUs) packet_.clear();
    lastByteUs_ = timeUs;
    // Hunt for 01 66 99: the host's own acknowledgements (06 99 66 ...) and stray bytes fall out here.
    static constexpr uint8_t kMagic[3] = {kStart, 0x66, 0x99};
    if (packet_.size() < 3 && byte != kMagic[packet_.size()]) {
        packet_.clear();
        if (byte == kStart) packet_.push_back(byte);
        return {};
    }
    packet_.push_back(byte);
    if (packet_.size() < kHeader) return {};
    const size_t total = static_cast<size_t>((packet_[4] << 8) | packet_[5]);
    const bool badLength = total < kMinPacket || total > kMaxPacket;
    if (!badLength && packet_.size() < total) return {};
    auto out = complete(timeUs);
    packet_.clear();
    return out;
}

std::vector<uint8_t> Tms320PacketPort::acknowledgement(bool ack) const {
    return {ack ? kAck : kNak, packet_[1], packet_[2], packet_[3], 0x00, 0x08, packet_[6], packet_[7]};
}

std::vector<Controller::Reply> Tms320PacketPort::complete(int64_t timeUs) {
    ++counters_.packets;
    const size_t total = static_cast<size_t>((packet_[4] << 8) | packet_[5]);
    const bool sound = total >= kMinPacket && total <= kMaxPacket && packet_[6] == 0 && packet_[7] == 0;
    const std::vector<uint8_t> block(packet_.begin() + kHeader, packet_.end());
    std::optional<uint16_t> command;
    if (block.size() >= 2) command = static_cast<uint16_t>((block[0] << 8) | block[1]);
    const bool nak = dspFaultFires(faults_, DspFaultKind::Nak, command) || !sound;
    const bool lostAck = dspFaultFires(faults_, DspFaultKind::LostAck, command);
    const bool wrongSequence = dspFaultFires(faults_, DspFaultKind::WrongSequence, command);

    std::vector<Controller::Reply> out;
    if (!lostAck) out.push_back({acknowledgement(!nak), timeUs});
    if (nak) {
        if (!lostAck) ++counters_.naks;
        return out;  // not executed
    }
    if (!lostAck) ++counters_.acks;

    const AccessCommandResult result = executeAccessCommand(block, memory_);
    counters_.sectorsErased += static_cast<uint32_t>(result.sectorsErased);
    // A repeated sequence number is what the host sees when the firmware fails to count on.
    const uint8_t sequence = wrongSequence ? static_cast<uint8_t>(replySequence_ - 1) : replySequence_++;
    const size_t length = kHeader + result.reply.size();
    std::vector<uint8_t> reply{
        kStart, 0x99, 0x66, sequence, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
        0x00,   0x00};
    reply.insert(reply.end(), result.reply.begin(), result.reply.end());
    out.push_back({std::move(reply), timeUs + result.workUs});
    ++counters_.replies;
    return out;
}

}  // namespace vsim
