#include "sim/boot_firmware.h"

namespace vsim {
namespace {

constexpr int64_t kRowWriteUs = 50000;  // one flash row (erase and write)
constexpr int64_t kRestartUs = 150000;  // from a start command until the other firmware answers
constexpr uint32_t kEepromEnd = 0x800000;
constexpr uint32_t kConfigBase = 0xF80000;
constexpr uint32_t kPmRowUnits = 64;  // 32 instructions
constexpr uint32_t kEmRowUnits = 32;  // 16 words

uint8_t checksum(const uint8_t* bytes, size_t n) {
    uint8_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(-sum);
}

// Deterministic 24-bit code words that are never the erased value.
struct CodeWords {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const uint32_t w = state & 0xFFFFFF;
        return w == 0xFFFFFF ? 0 : w;
    }
};

void putVersion(std::vector<uint32_t>& pm, uint32_t at, const FirmwareVersion& v) {
    const uint8_t r[15] = {v.major,
                           v.minor,
                           static_cast<uint8_t>(v.third),
                           static_cast<uint8_t>(v.third >> 8),
                           static_cast<uint8_t>(v.fourth),
                           static_cast<uint8_t>(v.fourth >> 8),
                           v.day,
                           v.month,
                           static_cast<uint8_t>(v.year),
                           static_cast<uint8_t>(v.year >> 8),
                           v.second,
                           v.minute,
                           v.hour,
                           0,
                           0};
    for (uint32_t k = 0; k < 5; ++k) pm[at / 2 + k] = r[3 * k] | r[3 * k + 1] << 8 | r[3 * k + 2] << 16;
}

uint32_t gotoLow(uint32_t target) {
    return 0x040000 | (target & 0xFFFE);
}

}  // namespace

BootFirmware::BootFirmware(const BootFirmwareDef& def)
    : def_(def),
      pm_(def.processor.pmInstructions, 0xFFFFFF),
      eeprom_(def.processor.eepromWords, 0xFFFF),
      config_(def.processor.configWords, 0),
      bootLoaderRuns_(def.startInBootLoader || !def.application) {
    // The boot loader: the reset GOTO, the alternate vector rows, its code at the top of flash.
    CodeWords code{0x9E3779B9u ^ def.bootLoader.major << 8 ^ def.bootLoader.minor};
    pm_[0] = gotoLow(kBootLoaderStart);
    pm_[1] = kBootLoaderStart >> 16;
    for (uint32_t a = 0x80; a < 0x100; a += 2) pm_[a / 2] = gotoLow(kBootLoaderStart + 0x100 + (a & 0x7F));
    for (uint32_t a = kBootLoaderStart; a < 2 * def.processor.pmInstructions && a < 0x8000; a += 2)
        pm_[a / 2] = code.next();
    putVersion(pm_, kBootLoaderVersionAt, def.bootLoader);
    for (size_t i = 0; i < config_.size(); ++i) config_[i] = static_cast<uint16_t>(0xC100 + 0x11 * i);
    if (def.application) {
        CodeWords app{def.seed * 2654435761u + 1};
        for (uint32_t a = 4; a < 0x80; a += 2) pm_[a / 2] = app.next();  // interrupt vectors
        const uint32_t end = kAppStart + kPmRowUnits * static_cast<uint32_t>(def.applicationRows);
        for (uint32_t a = kAppStart; a < end && a / 2 < pm_.size(); a += 2) pm_[a / 2] = app.next();
        putVersion(pm_, kAppVersionAt, *def.application);
        parameters_[1] = kAppStart;
        for (size_t i = 0; i < eeprom_.size(); ++i) eeprom_[i] = static_cast<uint16_t>(app.next());
    }
}

uint32_t BootFirmware::parameter(int nr) const {
    const auto it = parameters_.find(nr);
    return it == parameters_.end() ? 0 : it->second;
}

bool BootFirmware::bootLoaderRuns(int64_t nowUs) const {
    return nowUs < restartUntilUs_ ? restartIntoBootLoader_ : bootLoaderRuns_;
}

void BootFirmware::restart(bool intoBootLoader, int64_t nowUs) {
    restartUntilUs_ = nowUs + kRestartUs;
    restartIntoBootLoader_ = intoBootLoader;
    bootLoaderRuns_ = intoBootLoader;
}

std::vector<uint8_t> BootFirmware::versionRecord(uint32_t at) const {
    std::vector<uint8_t> r;
    for (uint32_t k = 0; k < 5; ++k) {
        const uint32_t w = pm_[at / 2 + k];
        r.push_back(static_cast<uint8_t>(w));
        r.push_back(static_cast<uint8_t>(w >> 8));
        r.push_back(static_cast<uint8_t>(w >> 16));
    }
    r.resize(14);
    // An erased record reads as no version at all.
    bool erased = true;
    for (uint8_t b : r) erased = erased && b == 0xFF;
    if (erased) r.assign(14, 0);
    return r;
}

uint16_t BootFirmware::readProgram(uint32_t adr, uint32_t size, std::vector<uint8_t>& out) const {
    const uint32_t count = (size + 2) / 3;
    if (adr % 2 || adr / 2 + count > pm_.size()) return bootResult::noMemory;
    for (uint32_t k = 0; k < count; ++k)
        for (int b = 0; b < 3; ++b) out.push_back(static_cast<uint8_t>(pm_[adr / 2 + k] >> (8 * b)));
    out.resize(size);
    return bootResult::ok;
}

uint16_t BootFirmware::readEeprom(uint32_t adr, uint32_t words, std::vector<uint8_t>& out) const {
    const uint32_t base = kEepromEnd - 2 * static_cast<uint32_t>(eeprom_.size());
    if (adr % 2 || adr < base || adr + 2 * words > kEepromEnd) return bootResult::noMemory;
    for (uint32_t k = 0; k < words; ++k) {
        const uint16_t w = eeprom_[(adr - base) / 2 + k];
        out.push_back(static_cast<uint8_t>(w));
        out.push_back(static_cast<uint8_t>(w >> 8));
    }
    return bootResult::ok;
}

uint16_t BootFirmware::readConfig(uint32_t adr, uint32_t size, std::vector<uint8_t>& out) const {
    const uint32_t per = def_.processor.bytesPerConfigWord;
    const uint32_t words = (size + per - 1) / per;
    if (adr % 2 || adr < kConfigBase || (adr - kConfigBase) / 2 + words > config_.size())
        return bootResult::noMemory;
    for (uint32_t k = 0; k < words; ++k) {
        const uint16_t w = config_[(adr - kConfigBase) / 2 + k];
        out.push_back(static_cast<uint8_t>(w));
        out.push_back(static_cast<uint8_t>(w >> 8));
        for (uint32_t extra = 2; extra < per; ++extra) out.push_back(0);
    }
    out.resize(size);
    return bootResult::ok;
}

std::optional<uint16_t> BootFirmware::command(const std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer,
                                              int64_t nowUs) {
    if (nowUs < restartUntilUs_) return std::nullopt;
    if (frame.size() != 8) return bootResult::badSize;
    const uint8_t cmd = frame[0];
    const uint32_t adr = frame[1] | frame[2] << 8 | frame[3] << 16 | static_cast<uint32_t>(frame[4]) << 24;
    const uint32_t size = frame[5] | frame[6] << 8;
    const uint8_t sum = frame[7];
    const bool inBootLoader = bootLoaderRuns_;
    std::vector<uint8_t> reply;
    auto answer = [&](uint16_t result) -> uint16_t {
        if (result == bootResult::ok && !reply.empty()) {
            if (reply.size() + 2 > buffer.size()) return bootResult::badSize;
            buffer[0] = cmd;
            buffer[1] = checksum(reply.data(), reply.size());
            std::copy(reply.begin(), reply.end(), buffer.begin() + 2);
        }
        return result;
    };
    auto dataGood = [&](size_t n) { return n <= buffer.size() && checksum(buffer.data(), n) == sum; };
    auto flashRow = [&]() {
        flashBusyUntilUs_ = nowUs + kRowWriteUs;
        ++rowsWritten_;
    };
    const bool memoryCommand = (cmd >= 0x02 && cmd <= 0x07) || cmd == 0x0D;
    if (memoryCommand && !inBootLoader) return bootResult::notInBootLoader;
    const bool flashWrite = cmd == 0x03 || cmd == 0x05 || cmd == 0x07;
    if (flashWrite && nowUs < flashBusyUntilUs_) return bootResult::busy;
    switch (cmd) {
        case 0x02:
            if (size == 0 || size + 2 > buffer.size()) return bootResult::badSize;
            return answer(readProgram(adr, size, reply));
        case 0x03: {
            if (adr % kPmRowUnits || adr / 2 + 32 > pm_.size()) return bootResult::noMemory;
            if (size != 96) return bootResult::badSize;
            if (!dataGood(size)) return bootResult::badChecksum;
            for (uint32_t k = 0; k < 32; ++k)
                pm_[adr / 2 + k] = buffer[3 * k] | buffer[3 * k + 1] << 8 | buffer[3 * k + 2] << 16;
            flashRow();
            return bootResult::ok;
        }
        case 0x04:
            if (size == 0 || 2 * size + 2 > buffer.size()) return bootResult::badSize;
            return answer(readEeprom(adr, size, reply));
        case 0x05: {
            const uint32_t base = kEepromEnd - 2 * static_cast<uint32_t>(eeprom_.size());
            if (adr % kEmRowUnits || adr < base || adr + kEmRowUnits > kEepromEnd)
                return bootResult::noMemory;
            if (size != 16) return bootResult::badSize;
            if (!dataGood(32)) return bootResult::badChecksum;
            for (uint32_t k = 0; k < 16; ++k)
                eeprom_[(adr - base) / 2 + k] = static_cast<uint16_t>(buffer[2 * k] | buffer[2 * k + 1] << 8);
            flashRow();
            return bootResult::ok;
        }
        case 0x06:
            if (size == 0 || size + 2 > buffer.size()) return bootResult::badSize;
            return answer(readConfig(adr, size, reply));
        case 0x07:
            if (adr % 2 || adr < kConfigBase || (adr - kConfigBase) / 2 >= config_.size())
                return bootResult::noMemory;
            if (size != 2) return bootResult::badSize;
            if (!dataGood(2)) return bootResult::badChecksum;
            config_[(adr - kConfigBase) / 2] = static_cast<uint16_t>(buffer[0] | buffer[1] << 8);
            flashRow();
            return bootResult::ok;
        case 0x09: {
            const uint16_t id = def_.processor.deviceId, rev = def_.processor.revision;
            reply = {static_cast<uint8_t>(id),  static_cast<uint8_t>(id >> 8),  0, 0,
                     static_cast<uint8_t>(rev), static_cast<uint8_t>(rev >> 8), 0, 0};
            return answer(bootResult::ok);
        }
        case 0x0A: {
            const uint32_t start = adr ? adr : parameter(1);
            if (start == 0 || start % 2 || start / 2 >= pm_.size() || pm_[start / 2] == 0xFFFFFF)
                return bootResult::noApplication;
            restart(false, nowUs);
            return bootResult::ok;
        }
        case 0x0B:
            reply = versionRecord(kBootLoaderVersionAt);
            return answer(bootResult::ok);
        case 0x0C:
            reply = versionRecord(kAppVersionAt);
            return answer(bootResult::ok);
        case 0x0D: {
            const uint8_t type = frame[2];
            if (type < 1 || type > 7) return bootResult::badParameter;
            parameters_[frame[1]] =
                frame[3] | frame[4] << 8 | frame[5] << 16 | static_cast<uint32_t>(frame[6]) << 24;
            return bootResult::ok;
        }
        case 0x0F:
            restart(true, nowUs);
            return bootResult::ok;
        case 0x10:
            reply = {static_cast<uint8_t>(inBootLoader ? 1 : 2), 0};
            return answer(bootResult::ok);
        default:
            return bootResult::unknownCommand;
    }
}

BootFirmware::Persistent BootFirmware::persistent() const {
    return {pm_, eeprom_, config_, parameters_, bootLoaderRuns_};
}

bool BootFirmware::restorePersistent(const Persistent& state) {
    if (state.programMemory.size() != pm_.size() || state.eeprom.size() != eeprom_.size() ||
        state.config.size() != config_.size())
        return false;
    pm_ = state.programMemory;
    eeprom_ = state.eeprom;
    config_ = state.config;
    parameters_ = state.parameters;
    bootLoaderRuns_ = state.bootLoaderRuns;
    restartUntilUs_ = 0;
    flashBusyUntilUs_ = 0;
    return true;
}

}  // namespace vsim
