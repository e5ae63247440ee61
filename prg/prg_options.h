#pragma once
// The driver's option block, set from "key=value,key=value" texts. Several values are only kept for
// tools that read them back; the link uses the boot file, the skip flag, the time-outs and parameters.
#include <array>
#include <cstdint>

namespace vzprg {

using OptionText = std::array<char, 261>;  // up to 260 characters and the NUL

struct PrgOptions {
    uint32_t emulatorId = 0;
    uint32_t emuPortAddr = 0;
    int emuBaudRate = 0;
    OptionText emuBoardFileName{};
    OptionText emuProcessorName{};
    OptionText prgBootLoadFileName{};
    int prgSkipBootLoad = 0;
    OptionText prgEraseFileName{};
    int prgEraseTimeout = 0;
    OptionText prgProgrammingFileName{};
    OptionText prgFlashDataFileName{};
    int prgProgrammingTimeout = 0;
    uint32_t prgProgrammingOption1 = 0;
    uint32_t prgProgrammingOption2 = 0;
    uint32_t prgProgrammingOption3 = 0;
    uint32_t prgProgrammingOption4 = 0;
    OptionText prgVerifyFileName{};
    int prgVerifyTimeout = 0;
    uint32_t prgVerifyOption1 = 0;
    uint32_t prgVerifyOption2 = 0;
    uint32_t prgVerifyOption3 = 0;
    uint32_t prgVerifyOption4 = 0;
};

// Applies the items of text in order (at most 1023 characters are looked at); stops at an empty item.
// Items without '=' and unknown keys are skipped.
void parseOptions(PrgOptions& options, const char* text);

}  // namespace vzprg
