#pragma once
// Turning the text of an edit control into a number, as the dialogs' readers do it. Texts are cut at
// 127 characters, as a dialog's 128-character buffer would hold them.
#include <cstddef>
#include <optional>
#include <string>

namespace vz {

constexpr std::size_t kFieldTextLimit = 127;

// An integer with a scanf-style format: "%i" takes decimal, 0x hex and 0 octal; "%d" and "%u"
// decimal; "%x" hex. Leading blanks are skipped and the number ends at the first other character
// ("12 V" reads 12); nullopt without digits or beyond the range of long long.
std::optional<long long> parseFieldInteger(const std::string& text, const char* format = "%i");

// A real number. Commas count as decimal points (12,5 is 12.5), so operators used to either
// convention type what they are used to; a text starting "1.#INF" stands for infinity, given as
// the target's stand-in (1e38 for float fields, 1e99 for double fields). NaN is no number: it would
// turn into an arbitrary raw value. Independent of the process locale.
std::optional<double> parseFieldReal(const std::string& text, double infinity);

}  // namespace vz
