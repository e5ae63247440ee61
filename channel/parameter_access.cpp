#include "channel/parameter_access.h"

#include <bitset>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/debug_log.h"
#include "channel/channel_table.h"
#include "channel/parameter_command.h"
#include "link/comm_problem.h"
#include "link/link_state.h"
#include "link/module_access.h"

namespace vz {
namespace {

unsigned char* recordBytes(QOR& q, ParameterRecord record) {
    if (record == ParameterRecord::user)
        return reinterpret_cast<unsigned char*>(static_cast<MODULE_USER_CONFIG_DATA*>(&q.user()));
    return reinterpret_cast<unsigned char*>(static_cast<MODULE_SYSTEM_CONFIG_DATA*>(&q.system()));
}

const unsigned char* recordBytes(const QOR& q, ParameterRecord record) {
    if (record == ParameterRecord::user)
        return reinterpret_cast<const unsigned char*>(static_cast<const MODULE_USER_CONFIG_DATA*>(&q.user()));
    return reinterpret_cast<const unsigned char*>(static_cast<const MODULE_SYSTEM_CONFIG_DATA*>(&q.system()));
}

template <typename V>
std::optional<ParameterValue> wholeNumber(double x) {
    if (!std::isfinite(x) || x != std::trunc(x)) return std::nullopt;
    if (x < static_cast<double>(std::numeric_limits<V>::lowest()) ||
        x > static_cast<double>(std::numeric_limits<V>::max()))
        return std::nullopt;
    return ParameterValue{static_cast<V>(x)};
}

}  // namespace

bool recordsUncertain(uint16_t moduleAddress) {
    const auto& uncertain = channelState().uncertainRecords;
    return moduleAddress < uncertain.size() && uncertain.test(moduleAddress);
}
void clearRecordsUncertain(uint16_t moduleAddress) {
    if (moduleAddress < channelState().uncertainRecords.size())
        channelState().uncertainRecords.reset(moduleAddress);
}
void resetRecordCertainty() {
    channelState().uncertainRecords.reset();
}

ParameterType typeOf(const ParameterValue& value) {
    switch (value.index()) {
        case 0:
            return ParameterType::int16;
        case 1:
            return ParameterType::uint16;
        case 2:
            return ParameterType::uint32;
        default:
            return ParameterType::float32;
    }
}

bool writeParameter(uint16_t moduleAddress, unsigned char* record, const ParameterInfo& p,
                    const void* bytes) {
    // A command is one exchange with a reply: its retries count with the reads or with the writes.
    auto retries = [] {
        return linkState().commProblem.readRetries.load() + linkState().commProblem.writeRetries.load();
    };
    const uint32_t retriesBefore = retries();
    if (!commandParameter(moduleAddress, p.blockBase(), p.offset, bytes, p.width(), p.name)) {
        // When a reply was lost and the retry then failed, the module may have taken the value the
        // first time: ask it what it holds, so the local copy stays true. A read that fails as well
        // leaves the copy as it was, marked uncertain until the polling has read it again.
        unsigned char held[4];
        if (retries() != retriesBefore && moduleAddress <= 126) {
            if (moduleRead(moduleAddressByte(moduleAddress), p.blockBase(), p.offset, held, p.width()) ==
                p.width())
                std::memcpy(record + p.offset, held, static_cast<std::size_t>(p.width()));
            else
                channelState().uncertainRecords.set(moduleAddress);
        }
        return false;
    }
    std::memcpy(record + p.offset, bytes, static_cast<std::size_t>(p.width()));
    return true;
}

bool setParameter(QOR& channel, const ParameterInfo& p, const ParameterValue& value) {
    if (typeOf(value) != p.type) {
        debugLog(kLogError, "%s: value of the wrong type, nothing sent", p.name);
        return false;
    }
    return std::visit(
        [&](auto v) { return writeParameter(channel.moduleAddress, recordBytes(channel, p.record), p, &v); },
        value);
}

ParameterValue readParameter(const QOR& channel, const ParameterInfo& p) {
    const unsigned char* at = recordBytes(channel, p.record) + p.offset;
    auto read = [at]<typename V>(V) {
        V v;
        std::memcpy(&v, at, sizeof v);
        return ParameterValue{v};
    };
    switch (p.type) {
        case ParameterType::int16:
            return read(int16_t{});
        case ParameterType::uint16:
            return read(uint16_t{});
        case ParameterType::uint32:
            return read(uint32_t{});
        case ParameterType::float32:
            return read(float{});
    }
    return {};
}

double physicalValue(const QOR& channel, const ParameterInfo& p) {
    const ParameterValue raw = readParameter(channel, p);
    if (p.unit == ParameterUnit::volts) return channel.voltageFromRaw(std::get<int16_t>(raw));
    if (p.unit == ParameterUnit::amperes) return channel.currentFromRaw(std::get<int16_t>(raw));
    return std::visit([](auto v) { return static_cast<double>(v); }, raw);
}

std::optional<ParameterValue> valueFromPhysical(const QOR& channel, const ParameterInfo& p, double physical) {
    if (!std::isfinite(physical)) return std::nullopt;
    if (p.raw16Scaled()) {
        const bool volts = p.unit == ParameterUnit::volts;
        const int exponent = volts ? channel.system().voltageExponent : channel.system().currentExponent;
        // The conversion saturates; a value that only saturation would bring into range has no raw value.
        const double steps = std::ldexp(physical, -exponent);
        if (steps >= 32767.5 || steps <= -32768.5) return std::nullopt;
        return ParameterValue{volts ? channel.voltageToRaw(physical) : channel.currentToRaw(physical)};
    }
    switch (p.type) {
        case ParameterType::int16:
            return wholeNumber<int16_t>(physical);
        case ParameterType::uint16:
            return wholeNumber<uint16_t>(physical);
        case ParameterType::uint32:
            return wholeNumber<uint32_t>(physical);
        case ParameterType::float32:
            if (std::fabs(physical) > std::numeric_limits<float>::max()) return std::nullopt;
            return ParameterValue{static_cast<float>(physical)};
    }
    return std::nullopt;
}

ParameterValue truncatedValue(const ParameterInfo& p, long long value) {
    switch (p.type) {
        case ParameterType::int16:
            return static_cast<int16_t>(value);
        case ParameterType::uint16:
            return static_cast<uint16_t>(value);
        case ParameterType::uint32:
            return static_cast<uint32_t>(value);
        case ParameterType::float32:
            return static_cast<float>(value);
    }
    return {};
}

}  // namespace vz
