#pragma once
// A stand-in for the link: the operation table served from byte arrays per module address, with every
// request recorded and the result words of commands scripted.
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "link/module_access.h"

namespace vz::test {

struct Request {
    char kind;  // 'r' readAddr, 'c' writeReply (command)
    uint8_t module;
    uint8_t functionCode;
    uint32_t address;
    std::vector<uint8_t> data;  // sent bytes of a command
};

class FakeModuleLink {
  public:
    FakeModuleLink();  // installs itself as the operation table
    ~FakeModuleLink();
    FakeModuleLink(const FakeModuleLink&) = delete;
    FakeModuleLink& operator=(const FakeModuleLink&) = delete;

    // Module memory in the byte space (address < 0x10000) and in the word space (word addresses).
    void putBytes(uint8_t module, uint32_t address, const std::vector<uint8_t>& bytes);
    void putWords(uint8_t module, uint32_t wordAddress, const std::vector<uint8_t>& bytes);
    // A readAddr at this raw address gives up (-1).
    void failReadAt(uint8_t module, uint32_t rawAddress) { failingReads_.insert({module, rawAddress}); }
    // Outcomes of the next commands: 0..65535 a result word, negative a failed exchange. Default 0.
    void scriptCommands(std::deque<int> outcomes) { commandOutcomes_ = std::move(outcomes); }

    std::vector<Request> requests;

  private:
    static int readAddr(uint8_t module, uint8_t functionCode, uint32_t address, void* destination,
                        int length);
    static int writeReply(uint8_t module, uint8_t functionCode, uint32_t address, const void* data,
                          int length, uint16_t* result, int resultLength);
    std::vector<uint8_t>& memory(uint8_t module);
    static size_t index(uint32_t rawAddress);

    OperationTable saved_;
    std::map<uint8_t, std::vector<uint8_t>> memory_;
    std::set<std::pair<uint8_t, uint32_t>> failingReads_;
    std::deque<int> commandOutcomes_;
};

// Little-endian bytes of a value, as the module sees them.
template <typename T>
std::vector<uint8_t> bytesOf(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    for (size_t i = 0; i < sizeof value; ++i) bytes[i] = reinterpret_cast<const uint8_t*>(&value)[i];
    return bytes;
}

}  // namespace vz::test
