#pragma once
// A connected virtual crate with its modules found, the parameter commands recorded on their way to
// the link, and the debug log and message boxes kept.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/crate_fixture.h"

namespace vz::test {

struct SentCommand {
    uint8_t module;
    uint16_t address;  // block base + field offset
    std::vector<uint8_t> data;
};

class ConfigCrateFixture : public CrateFixture {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A crate of the given type and product id with these modules ("modules" array body), connected
    // and searched as at start-up. Commands are recorded from here on.
    void connect(const std::string& modulesJson, int type = 18, const std::string& pid = "0012");
    // The record of a module as the module itself holds it.
    std::vector<uint8_t> moduleRecord(int channel, uint32_t base);
    std::vector<SentCommand> commandsTo(uint16_t address) const;
    int logged(char level, const std::string& text) const;

    std::vector<std::string> log;

  public:
    static std::vector<SentCommand> commands;  // filled by the recording operation
};

// Little-endian bytes of a value.
template <typename T>
std::vector<uint8_t> bytesOf(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    for (std::size_t i = 0; i < sizeof value; ++i) bytes[i] = reinterpret_cast<const uint8_t*>(&value)[i];
    return bytes;
}

}  // namespace vz::test
