#include "prg/prg_options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace vzprg {
namespace {

enum class Kind { Hex, Decimal, Text, Boolean };

struct OptionKey {
    const char* key;
    Kind kind;
    void* (*field)(PrgOptions&);
    int maxValue = 0;  // decimal values are kept within 0 ... maxValue
};

// Time-outs are milliseconds (the erase's a base that is multiplied by 30 per sector): bounded so that
// no wait computed from them overflows or outlasts an operator's patience by days.
constexpr int kMaxBaudRate = 4000000;
constexpr int kMaxEraseTimeoutBase = 10000;  // 300 s for one sector
constexpr int kMaxPacketTimeout = 60000;

template <auto Member>
void* fieldOf(PrgOptions& o) {
    return &(o.*Member);
}

// In the block's order: the first key that matches wins.
const OptionKey kKeys[] = {
    {"EmulatorId", Kind::Hex, fieldOf<&PrgOptions::emulatorId>},
    {"EmuPortAddr", Kind::Hex, fieldOf<&PrgOptions::emuPortAddr>},
    {"EmuBaudRate", Kind::Decimal, fieldOf<&PrgOptions::emuBaudRate>, kMaxBaudRate},
    {"EmuBoardFileName", Kind::Text, fieldOf<&PrgOptions::emuBoardFileName>},
    {"EmuProcessorName", Kind::Text, fieldOf<&PrgOptions::emuProcessorName>},
    {"PrgBootLoadFileName", Kind::Text, fieldOf<&PrgOptions::prgBootLoadFileName>},
    {"PrgSkipBootLoad", Kind::Boolean, fieldOf<&PrgOptions::prgSkipBootLoad>},
    {"PrgEraseFileName", Kind::Text, fieldOf<&PrgOptions::prgEraseFileName>},
    {"PrgEraseTimeout", Kind::Decimal, fieldOf<&PrgOptions::prgEraseTimeout>, kMaxEraseTimeoutBase},
    {"PrgProgrammingFileName", Kind::Text, fieldOf<&PrgOptions::prgProgrammingFileName>},
    {"PrgFlashDataFileName", Kind::Text, fieldOf<&PrgOptions::prgFlashDataFileName>},
    {"PrgProgrammingTimeout", Kind::Decimal, fieldOf<&PrgOptions::prgProgrammingTimeout>, kMaxPacketTimeout},
    {"PrgProgrammingOption1", Kind::Hex, fieldOf<&PrgOptions::prgProgrammingOption1>},
    {"PrgProgrammingOption2", Kind::Hex, fieldOf<&PrgOptions::prgProgrammingOption2>},
    {"PrgProgrammingOption3", Kind::Hex, fieldOf<&PrgOptions::prgProgrammingOption3>},
    {"PrgProgrammingOption4", Kind::Hex, fieldOf<&PrgOptions::prgProgrammingOption4>},
    {"PrgVerifyFileName", Kind::Text, fieldOf<&PrgOptions::prgVerifyFileName>},
    {"PrgVerifyTimeout", Kind::Decimal, fieldOf<&PrgOptions::prgVerifyTimeout>, kMaxPacketTimeout},
    {"PrgVerifyOption1", Kind::Hex, fieldOf<&PrgOptions::prgVerifyOption1>},
    {"PrgVerifyOption2", Kind::Hex, fieldOf<&PrgOptions::prgVerifyOption2>},
    {"PrgVerifyOption3", Kind::Hex, fieldOf<&PrgOptions::prgVerifyOption3>},
    {"PrgVerifyOption4", Kind::Hex, fieldOf<&PrgOptions::prgVerifyOption4>},
};

void apply(const OptionKey& key, PrgOptions& options, const char* value) {
    void* field = key.field(options);
    switch (key.kind) {
        case Kind::Hex: {
            unsigned long v = 0;  // a value that is no number leaves the field unchanged
            if (std::sscanf(value, "%08lx", &v) == 1)
                *static_cast<uint32_t*>(field) = static_cast<uint32_t>(v);
            break;
        }
        case Kind::Decimal: {
            // Read wide, so that a number beyond int is bounded rather than undefined.
            long long v = 0;
            if (std::sscanf(value, "%lld", &v) == 1)
                *static_cast<int*>(field) = static_cast<int>(std::clamp<long long>(v, 0, key.maxValue));
            break;
        }
        case Kind::Boolean:
            *static_cast<int*>(field) = std::strcmp(value, "YES") == 0 ? 1 : 0;
            break;
        case Kind::Text: {
            auto& text = *static_cast<OptionText*>(field);
            const size_t n = std::min(std::strlen(value), text.size() - 1);
            std::memcpy(text.data(), value, n);
            text[n] = '\0';
            break;
        }
    }
}

}  // namespace

void parseOptions(PrgOptions& options, const char* text) {
    if (!text) return;
    char work[1024];
    const size_t n = strnlen(text, sizeof work - 1);
    std::memcpy(work, text, n);
    work[n] = '\0';
    char* item = work;
    while (*item) {
        char* comma = std::strchr(item, ',');
        char* next = comma ? comma + 1 : item + std::strlen(item);
        if (comma) *comma = '\0';
        if (*item == '\0') break;  // an empty item ends the list
        if (char* eq = std::strchr(item, '=')) {
            *eq = '\0';
            const std::string_view key(item);
            for (const auto& k : kKeys) {
                if (key == k.key) {
                    apply(k, options, eq + 1);
                    break;
                }
            }
        }
        item = next;
    }
}

}  // namespace vzprg
