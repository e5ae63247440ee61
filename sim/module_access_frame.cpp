#include "sim/module_access_frame.h"

#include <cstring>

namespace vsim {
namespace {

void appendAddress(std::vector<uint8_t>& f, uint32_t address) {
    f.push_back(static_cast<uint8_t>(address));
    f.push_back(static_cast<uint8_t>(address >> 8));
    f.push_back(static_cast<uint8_t>((address >> 16) & 0x03));
}

std::vector<uint8_t> sealed(std::vector<uint8_t> f) {
    f.push_back(checkByte(f.data(), f.size()));
    return f;
}

constexpr const char* kNames[] = {"readShort",  "readAddr", "writeShort", "writeAddr",
                                  "writeReply", "assign",   "probe"};

}  // namespace

const char* operationName(Operation op) {
    return kNames[static_cast<int>(op)];
}

std::optional<Operation> operationFromName(const char* name) {
    for (int i = 0; i < 7; ++i)
        if (std::strcmp(kNames[i], name) == 0) return static_cast<Operation>(i);
    return std::nullopt;
}

uint8_t checkByte(const uint8_t* bytes, size_t length) {
    uint8_t c = 0x5A;
    for (size_t i = 0; i < length; ++i) c ^= bytes[i];
    return c;
}

size_t requestSize(uint8_t header) {
    const bool read = header & 0x80;
    const bool addr = header & 0x08;
    const size_t data = read ? 0 : 2u * (header & 0x07);
    return 2 + (addr ? 3 : 0) + data + 1;
}

std::optional<Request> decodeRequest(const uint8_t* bytes, size_t length) {
    if (length < 3 || length != requestSize(bytes[1])) return std::nullopt;
    if (checkByte(bytes, length) != 0) return std::nullopt;  // the check byte cancels out
    Request r;
    r.module = bytes[0];
    r.header = bytes[1];
    r.read = r.header & 0x80;
    r.functionCode = (r.header >> 4) & 0x07;
    r.hasAddress = r.header & 0x08;
    r.lengthBytes = 2u * (r.header & 0x07);
    size_t pos = 2;
    if (r.hasAddress) {
        r.address = bytes[2] | (bytes[3] << 8) | ((bytes[4] & 0x03) << 16);
        pos = 5;
    }
    if (!r.read) r.data.assign(bytes + pos, bytes + pos + r.lengthBytes);
    if (r.read)
        r.operation = r.hasAddress ? Operation::ReadAddr : Operation::ReadShort;
    else if (!r.hasAddress)
        r.operation = Operation::WriteShort;
    else if (r.functionCode == 0)
        r.operation = Operation::Assign;
    else if ((r.address & 0x30000) == kCommandSpace)
        r.operation = Operation::WriteReply;
    else
        r.operation = Operation::WriteAddr;
    return r;
}

std::vector<uint8_t> readShortReply(uint8_t module, uint8_t status, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f{module, status};
    f.insert(f.end(), data.begin(), data.end());
    return sealed(std::move(f));
}

std::vector<uint8_t> readAddrReply(uint8_t module, uint8_t status, uint32_t address,
                                   const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f{module, static_cast<uint8_t>(status | kStatusAddressFollows)};
    appendAddress(f, address);
    f.insert(f.end(), data.begin(), data.end());
    return sealed(std::move(f));
}

std::vector<uint8_t> writeShortReply(uint8_t module, uint8_t status) {
    return sealed({module, status});
}

std::vector<uint8_t> writeAddrReply(uint8_t module, uint8_t status, uint32_t address) {
    std::vector<uint8_t> f{module, static_cast<uint8_t>(status | kStatusAddressFollows)};
    appendAddress(f, address);
    return sealed(std::move(f));
}

std::vector<uint8_t> writeResultReply(uint8_t module, uint8_t status, uint32_t address, uint16_t result) {
    std::vector<uint8_t> f{module, static_cast<uint8_t>(status | kStatusAddressFollows)};
    appendAddress(f, address);
    f.push_back(static_cast<uint8_t>(result));
    f.push_back(static_cast<uint8_t>(result >> 8));
    return sealed(std::move(f));
}

}  // namespace vsim
