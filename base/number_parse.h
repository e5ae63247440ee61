#pragma once
// The one parser for every number a person types (command lines, shell words, option values): the
// whole word or nothing, within the range the caller gives, never wrapped or cut to fit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vz {

enum class IntegerForm {
    Decimal,   // [-]digits
    CStyle,    // as "%i" reads it: [-]digits, 0x-prefixed hexadecimal, 0-prefixed octal
};

// The integer the word spells, or nothing with a reason in error ("\"12abc\" is not a whole number",
// "\"200\" is outside 0..126").
std::optional<int64_t> parseInteger(std::string_view word, int64_t min, int64_t max, std::string& error,
                                    IntegerForm form = IntegerForm::Decimal);

}  // namespace vz
