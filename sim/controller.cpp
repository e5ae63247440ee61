#include "sim/controller.h"

#include <algorithm>

#include "sim/byte_order.h"
#include "sim/record_layout.h"

namespace vsim {
namespace {

constexpr uint32_t kCacheBase = 0x9002;  // word address of channel 0's user record copy
constexpr uint32_t kCacheStride = 88;    // words per channel
constexpr int64_t kFrameGapUs = 20000;   // a pause this long drops a half-received frame
constexpr int64_t kPhysicsStepUs = 1000;
constexpr uint8_t kController = 0xFF;

bool isModuleAddress(uint8_t a) {
    return a >= 0x80 && a <= 0x80 + 126;
}

}  // namespace

Controller::Controller(const CrateDef& def) : def_(def.controller), faults_(def.faults), random_(def.seed) {
    for (const ModuleDef& m : def.modules) modules_.push_back(std::make_unique<Module>(m, def_.type));
}

Controller::~Controller() = default;

uint32_t Controller::configWordAddress() const {
    if (def_.configWordAddress) return *def_.configWordAddress;
    return def_.cacheChannels == 16 || def_.type == 18 ? 0x9580 : 0x9420;
}

Module* Controller::module(int channel) {
    for (auto& m : modules_)
        if (m->channel() == channel) return m.get();
    return nullptr;
}

const Module* Controller::module(int channel) const {
    return const_cast<Controller*>(this)->module(channel);
}

std::vector<const Module*> Controller::modules() const {
    std::vector<const Module*> out;
    for (const auto& m : modules_) out.push_back(m.get());
    return out;
}

Module* Controller::moduleBySerial(uint32_t low26) {
    for (auto& m : modules_)
        if ((m->serialNumber() & 0x3FFFFFF) == low26) return m.get();
    return nullptr;
}

ExchangeKey Controller::keyOf(const Request& r) const {
    ExchangeKey k{256 + r.module, r.operation, std::nullopt};
    if (r.hasAddress) k.address = r.address;
    if (isModuleAddress(r.module)) k.channel = r.module - 0x80;
    if (r.module == kController) k.channel = 255;
    if (r.operation == Operation::Assign) {
        const uint32_t serial = (static_cast<uint32_t>(r.module) << 18) | r.address;
        if (const Module* m = const_cast<Controller*>(this)->moduleBySerial(serial)) k.channel = m->channel();
    }
    return k;
}

bool Controller::writeFails(const uint8_t* data, size_t length) {
    if (length < 2) return false;
    std::optional<ExchangeKey> key;
    if (def_.snmp) key = snmpKeyOf(data, length);
    if (!key) key = directKeyOf(data, length);
    bool fails = false;
    for (FaultRule& rule : faults_)
        if (rule.kind == FaultKind::WriteFail && ruleFires(rule, *key, random_)) fails = true;
    return fails;
}

ExchangeKey Controller::directKeyOf(const uint8_t* data, size_t length) const {
    // The write is judged by the frame it starts, so rules can pick channels and operations.
    const size_t size = requestSize(data[1]);
    Request r;
    r.module = data[0];
    r.header = data[1];
    r.read = data[1] & 0x80;
    r.hasAddress = data[1] & 0x08;
    r.functionCode = (data[1] >> 4) & 7;
    if (r.hasAddress && length >= 5) r.address = data[2] | (data[3] << 8) | ((data[4] & 3) << 16);
    if (length >= size) {
        if (auto decoded = decodeRequest(data, size)) r = *decoded;
    }
    return keyOf(r);
}

std::vector<Controller::Reply> Controller::receive(uint8_t byte, int64_t timeUs) {
    std::vector<Reply> replies;
    if (!def_.snmp) {
        if (auto reply = receiveDirect(byte, timeUs)) replies.push_back(std::move(*reply));
        return replies;
    }
    // The line is shared: direct frames are answered as ever, SLIP frames go to the agent.
    const uint32_t droppedBefore = demux_.dropped();
    for (const LineItem& item : demux_.push(byte, timeUs)) {
        std::optional<Reply> reply;
        if (item.packet) {
            reply = answerPacket(item.bytes, timeUs);
        } else if (const auto request = decodeRequest(item.bytes.data(), item.bytes.size())) {
            reply = handle(*request, timeUs);
        }
        if (reply) replies.push_back(std::move(*reply));
    }
    framesIgnored_ += demux_.dropped() - droppedBefore;
    return replies;
}

std::optional<Controller::Reply> Controller::receiveDirect(uint8_t byte, int64_t timeUs) {
    if (!partial_.empty() && timeUs - lastByteUs_ > kFrameGapUs) partial_.clear();
    lastByteUs_ = timeUs;
    partial_.push_back(byte);
    if (partial_.size() < 2 || partial_.size() < requestSize(partial_[1])) return std::nullopt;
    const auto request = decodeRequest(partial_.data(), partial_.size());
    partial_.clear();
    if (!request) {
        ++framesIgnored_;  // a frame with a bad check byte gets no answer
        return std::nullopt;
    }
    return handle(*request, timeUs);
}

std::vector<uint8_t> Controller::errorReply(const Request& r) const {
    const std::vector<uint8_t> zeros(r.lengthBytes, 0);
    switch (r.operation) {
        case Operation::ReadShort:
            return readShortReply(r.module, kStatusError, zeros);
        case Operation::ReadAddr:
            return readAddrReply(r.module, kStatusError, r.address, zeros);
        case Operation::WriteShort:
            return writeShortReply(r.module, kStatusError);
        case Operation::WriteReply:
            return writeResultReply(r.module, kStatusError, r.address, 0);
        case Operation::WriteAddr:
        case Operation::Assign:
        case Operation::Probe:
            break;
    }
    return writeAddrReply(r.module, kStatusError, r.address);
}

Controller::FaultEffects Controller::drawFaults(const ExchangeKey& key, Carrier carrier) {
    FaultEffects fx;
    for (FaultRule& rule : faults_) {
        // Rules only see the exchanges they can act on, so that their counts are not used up
        // elsewhere: write failures are drawn at the write, SNMP kinds only on the SNMP line, and
        // the probe carries no module frame to fail or refuse.
        if (rule.kind == FaultKind::WriteFail) continue;
        if (carrier == Carrier::Direct && snmpOnly(rule.kind)) continue;
        if (key.operation == Operation::Probe &&
            (rule.kind == FaultKind::ModuleError || rule.kind == FaultKind::Refuse))
            continue;
        if (!ruleFires(rule, key, random_)) continue;
        switch (rule.kind) {
            case FaultKind::NoReply:
                fx.noReply = true;
                break;
            case FaultKind::ShortReply:
                fx.shortBytes = std::max(fx.shortBytes, rule.bytes);
                break;
            case FaultKind::CorruptCheck:
                fx.corrupt = true;
                break;
            case FaultKind::ModuleError:
                fx.moduleError = true;
                break;
            case FaultKind::Refuse:
                fx.refusal = rule.code;
                break;
            case FaultKind::Slow:
                fx.delayUs += int64_t{rule.delayMs} * 1000;
                break;
            case FaultKind::NoSuchObject:
                fx.exception = 0x80;
                break;
            case FaultKind::NoSuchInstance:
                fx.exception = 0x81;
                break;
            case FaultKind::EndOfMibView:
                fx.exception = 0x82;
                break;
            case FaultKind::WrongRequestId:
                fx.wrongRequestId = true;
                break;
            case FaultKind::VersionZero:
                fx.versionZero = true;
                break;
            case FaultKind::MalformedBer:
                fx.malformedBytes = std::max(fx.malformedBytes, rule.bytes);
                break;
            case FaultKind::Garbage:
                fx.garbageBytes = std::max(fx.garbageBytes, rule.bytes);
                break;
            case FaultKind::CorruptBuffer:
                fx.corruptBuffer = true;
                break;
            case FaultKind::ModuleSilent:
                fx.moduleSilent = true;
                break;
            case FaultKind::WriteFail:
                break;
        }
    }
    return fx;
}

std::optional<Controller::Reply> Controller::handle(const Request& r, int64_t timeUs) {
    const FaultEffects fx = drawFaults(keyOf(r), Carrier::Direct);
    auto reply = answerFrame(r, timeUs, fx);
    if (!reply || fx.noReply) return std::nullopt;
    std::vector<uint8_t>& bytes = reply->bytes;
    if (fx.corrupt) bytes.back() ^= 0xFF;
    if (fx.shortBytes > 0)
        bytes.resize(bytes.size() > static_cast<size_t>(fx.shortBytes) ? bytes.size() - fx.shortBytes : 0);
    ++framesAnswered_;
    return reply;
}

std::optional<Controller::Reply> Controller::answerFrame(const Request& r, int64_t timeUs,
                                                         const FaultEffects& fx) {
    advanceTo(timeUs);
    const bool moduleError = fx.moduleError;
    const std::optional<uint16_t> refusal = fx.refusal;
    int64_t delayUs = fx.delayUs;

    Module* target = isModuleAddress(r.module) ? module(r.module - 0x80) : nullptr;
    if (r.operation == Operation::Assign)
        target = moduleBySerial((static_cast<uint32_t>(r.module) << 18) | r.address);
    const bool needsModule = isModuleAddress(r.module) || r.operation == Operation::Assign;
    if (target) target->countFrame();

    std::vector<uint8_t> reply;
    if (needsModule && !target) {
        // Nobody answers on the CAN bus: the controller gives up after its time-out.
        if (def_.absentSilent) return std::nullopt;
        delayUs += int64_t{def_.canTimeoutMs} * 1000;
        reply = errorReply(r);
    } else if (moduleError) {
        reply = errorReply(r);
    } else {
        const uint32_t space = r.address & 0x30000;
        const uint32_t low = r.address & 0xFFFF;
        std::vector<uint8_t> data;
        bool good = false;
        switch (r.operation) {
            case Operation::ReadShort:
                if (target && r.functionCode >= 4) {
                    const auto m = target->measurement();
                    data.assign(r.lengthBytes, 0);
                    const size_t from = 8u * (r.functionCode - 4);
                    for (size_t i = 0; i < r.lengthBytes && from + i < m.size(); ++i) data[i] = m[from + i];
                    reply = readShortReply(r.module, kStatusRead, data);
                    good = true;
                }
                break;
            case Operation::ReadAddr:
                if (r.functionCode == 2) {
                    if (target && space == 0) {
                        good = target->readMemory(low, r.lengthBytes, data) && !fx.moduleSilent;
                        if (fx.moduleSilent) delayUs += int64_t{def_.canTimeoutMs} * 1000;
                        if (good && fx.corruptBuffer && !data.empty()) data.back() ^= 0x5A;
                    } else if (r.module == kController && space == kWordSpace)
                        good = readWords(low, r.lengthBytes, data);
                    if (good) reply = readAddrReply(r.module, kStatusRead, r.address, data);
                }
                break;
            case Operation::WriteShort:
                if (r.functionCode == 3 && r.data.size() == 2 && r.module != kController) {
                    const uint16_t w = getU16(r.data.data());
                    if (target) {
                        target->command(w, false);
                    } else {
                        // 0 all modules, otherwise the modules of that group.
                        for (auto& m : modules_)
                            if (r.module == 0 || m->idGroup() == r.module) m->command(w, true);
                    }
                    reply = writeShortReply(r.module, kStatusDone);
                    good = true;
                }
                break;
            case Operation::WriteAddr:
                if (r.functionCode == 3) {
                    if (target && space == 0) {
                        good = target->writeMemory(low, r.data) && !fx.moduleSilent;
                        if (fx.moduleSilent) delayUs += int64_t{def_.canTimeoutMs} * 1000;
                    } else if (r.module == kController && space == kWordSpace)
                        good = writeWords(low, r.data);
                    if (good) reply = writeAddrReply(r.module, kStatusDone, r.address);
                }
                break;
            case Operation::WriteReply:
                if (target && r.functionCode == 3 && Module::isBootCommandAddress(low)) {
                    // A processor that restarts, or that stopped answering, leaves the controller
                    // waiting for its CAN time-out.
                    const auto code = refusal ? refusal : target->bootCommand(r.data, timeUs);
                    if (code && !fx.moduleSilent) {
                        reply = writeResultReply(r.module, kStatusDone, r.address, *code);
                        good = true;
                    } else {
                        delayUs += int64_t{def_.canTimeoutMs} * 1000;
                    }
                } else if (target && r.functionCode == 3) {
                    ++parameterWrites_;
                    const uint16_t code = refusal ? *refusal : target->writeParameter(low, r.data);
                    reply = writeResultReply(r.module, kStatusDone, r.address, code);
                    good = true;
                }
                break;
            case Operation::Assign:
                if (target && r.data.size() == 4) {
                    const int channel = getU16(r.data.data());
                    const int group = getU16(r.data.data() + 2);
                    const Module* other = module(channel);
                    if (channel <= 126 && (!other || other == target)) {
                        target->setChannel(channel);
                        if (group >= 1 && group <= 127) {
                            std::vector<uint8_t> g(r.data.begin() + 2, r.data.end());
                            target->writeParameter(kUserBase, g);
                        }
                        reply = writeAddrReply(r.module, kStatusDone, r.address);
                        good = true;
                    }
                }
                break;
            case Operation::Probe:
                break;
        }
        if (!good) reply = errorReply(r);
    }
    return Reply{std::move(reply), timeUs + delayUs};
}

std::optional<uint16_t> Controller::word(uint32_t wa) const {
    // The configuration record sits in the unused tail of the last channel's stride.
    const uint32_t cfg = configWordAddress();
    if (wa >= cfg && wa < cfg + def_.config.size() / 2) return getU16(def_.config.data() + 2 * (wa - cfg));
    const uint32_t cacheEnd = kCacheBase + kCacheStride * static_cast<uint32_t>(def_.cacheChannels);
    if (wa >= kCacheBase && wa < cacheEnd) {
        const int channel = static_cast<int>((wa - kCacheBase) / kCacheStride);
        const uint32_t k = (wa - kCacheBase) % kCacheStride;
        const Module* m = module(channel);
        if (!m) return 0;  // an empty slot reads as zeros, serial number 0 included
        if (k < 32) return getU16(m->user().data() + 2 * k);
        if (k < 64) return getU16(m->system().data() + 2 * (k - 32));
        if (k < 80) return getU16(m->measurement().data() + 2 * (k - 64));
        if (k == 80) return m->cacheWordLow();
        if (k == 81) return m->cacheWordHigh();
        return 0;
    }
    return std::nullopt;
}

bool Controller::readWords(uint32_t wa, size_t length, std::vector<uint8_t>& out) const {
    out.assign(length, 0);
    for (size_t i = 0; i < length / 2; ++i) {
        const auto w = word(wa + static_cast<uint32_t>(i));
        if (!w) return false;
        putU16(out.data() + 2 * i, *w);
    }
    return true;
}

bool Controller::writeWords(uint32_t wa, const std::vector<uint8_t>& data) {
    // Only the configuration record is writable; the cache follows the modules.
    const uint32_t cfg = configWordAddress();
    const size_t words = data.size() / 2;
    if (wa < cfg || wa + words > cfg + def_.config.size() / 2) return false;
    std::copy(data.begin(), data.begin() + 2 * words, def_.config.begin() + 2 * (wa - cfg));
    ++configWrites_;
    return true;
}

uint64_t Controller::changeCount() const {
    uint64_t n = configWrites_;
    for (const auto& m : modules_) n += m->changeCount();
    return n;
}

void Controller::applyAction(const Module& source, int action) {
    for (auto& m : modules_) {
        if (action == 3 || (action == 2 && m->idGroup() == source.idGroup())) m->trip();
    }
}

void Controller::advanceTo(int64_t timeUs) {
    if (!physicsUs_) {
        physicsUs_ = timeUs;  // the first exchange starts the crate's clock
        return;
    }
    while (*physicsUs_ < timeUs) {
        bool active = false;
        for (const auto& m : modules_) active = active || m->active();
        // Step finely only while something changes; a quiet crate jumps to the target time.
        const int64_t dt = active ? std::min(kPhysicsStepUs, timeUs - *physicsUs_) : timeUs - *physicsUs_;
        for (auto& m : modules_) {
            const int action = m->step(dt);
            if (action >= 2) applyAction(*m, action);
        }
        *physicsUs_ += dt;
    }
}

}  // namespace vsim
