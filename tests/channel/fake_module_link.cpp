#include "fake_module_link.h"

#include <cstring>
#include <stdexcept>

#include "link/link_state.h"

namespace vz::test {
namespace {
FakeModuleLink* active = nullptr;
constexpr size_t kByteSpace = 0x10000;
constexpr size_t kWordSpaceBytes = 0x20000;
}  // namespace

FakeModuleLink::FakeModuleLink() : saved_(linkState().operationTable) {
    active = this;
    linkState().operationTable = {};
    linkState().operationTable.readAddr = &FakeModuleLink::readAddr;
    linkState().operationTable.writeReply = &FakeModuleLink::writeReply;
}

FakeModuleLink::~FakeModuleLink() {
    linkState().operationTable = saved_;
    active = nullptr;
}

size_t FakeModuleLink::index(uint32_t rawAddress) {
    if (rawAddress < kByteSpace) return rawAddress;
    if (rawAddress >= kWordSpace && rawAddress < kWordSpace + 0x10000)
        return kByteSpace + (rawAddress - kWordSpace) * 2;
    throw std::out_of_range("fake link: address outside the byte and word spaces");
}

std::vector<uint8_t>& FakeModuleLink::memory(uint8_t module) {
    auto& m = memory_[module];
    if (m.empty()) m.assign(kByteSpace + kWordSpaceBytes, 0);
    return m;
}

void FakeModuleLink::putBytes(uint8_t module, uint32_t address, const std::vector<uint8_t>& bytes) {
    std::memcpy(memory(module).data() + index(address), bytes.data(), bytes.size());
}

void FakeModuleLink::putWords(uint8_t module, uint32_t wordAddress, const std::vector<uint8_t>& bytes) {
    std::memcpy(memory(module).data() + index(kWordSpace + wordAddress), bytes.data(), bytes.size());
}

int FakeModuleLink::readAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination,
                             int length) {
    active->requests.push_back({'r', module, functionCode, address, {}});
    if (active->failingReads_.count({module, address})) return -1;
    std::memcpy(destination, active->memory(module).data() + index(address), static_cast<size_t>(length));
    return length;
}

int FakeModuleLink::writeReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data,
                               int length, uint16_t* result, int resultLength) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    active->requests.push_back({'c', module, functionCode, address, {bytes, bytes + length}});
    int outcome = 0;
    if (!active->commandOutcomes_.empty()) {
        outcome = active->commandOutcomes_.front();
        active->commandOutcomes_.pop_front();
    }
    if (outcome < 0) return outcome;
    *result = static_cast<uint16_t>(outcome);
    return resultLength;
}

}  // namespace vz::test
