#include "base/number_parse.h"

#include <charconv>
#include <limits>

namespace vz {

std::optional<int64_t> parseInteger(std::string_view word, int64_t min, int64_t max, std::string& error,
                                    IntegerForm form) {
    const std::string quoted = "\"" + std::string(word) + "\"";
    std::string_view digits = word;
    bool negative = false;
    if (!digits.empty() && digits.front() == '-') {
        negative = true;
        digits.remove_prefix(1);
    }
    int base = 10;
    if (form == IntegerForm::CStyle && digits.size() > 1 && digits.front() == '0') {
        if (digits[1] == 'x' || digits[1] == 'X') {
            base = 16;
            digits.remove_prefix(2);
        } else {
            base = 8;
            digits.remove_prefix(1);
        }
    }
    // from_chars takes no sign, blank or prefix of its own: anything it leaves over is a bad word.
    uint64_t magnitude = 0;
    const auto [end, result] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || digits.front() == '+' || digits.front() == '-' ||
        end != digits.data() + digits.size() || (result != std::errc() && result != std::errc::result_out_of_range)) {
        error = quoted + " is not a whole number";
        return std::nullopt;
    }
    const bool tooLarge = result == std::errc::result_out_of_range ||
                          magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    const int64_t value = tooLarge ? 0
                          : negative ? static_cast<int64_t>(0 - magnitude)
                                     : static_cast<int64_t>(magnitude);
    if (tooLarge || value < min || value > max) {
        error = quoted + " is outside " + std::to_string(min) + ".." + std::to_string(max);
        return std::nullopt;
    }
    return value;
}

}  // namespace vz
