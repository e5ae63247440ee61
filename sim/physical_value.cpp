#include "sim/physical_value.h"

#include <cmath>
#include <cstdlib>

namespace vsim {

double rawToPhysical(int raw, int exponent) {
    return std::ldexp(static_cast<double>(raw), exponent);
}

int16_t saturatingRaw(double value, int exponent) {
    const double y = std::ldexp(value, -exponent);
    if (!(y < 32767.0)) return std::isnan(y) ? 0 : 32767;
    if (y <= -32768.0) return -32768;
    const double r = y >= 0 ? std::trunc(y + 0.5) : std::trunc(y - 0.5);
    if (r > 32767.0) return 32767;
    return static_cast<int16_t>(r);
}

std::optional<int16_t> physicalToRaw(const std::string& text, Unit unit, int exponent, std::string& error) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number)) {
        error = "\"" + text + "\" is not a number with a unit";
        return std::nullopt;
    }
    std::string suffix(end);
    while (!suffix.empty() && suffix.front() == ' ') suffix.erase(suffix.begin());
    double scale = 1;
    if (suffix.size() == 2 && suffix[0] == 'm') {
        scale = 1e-3;
        suffix.erase(0, 1);
    }
    const char wanted = unit == Unit::Volt ? 'V' : 'A';
    if (unit == Unit::None || suffix.size() != 1 || suffix[0] != wanted) {
        error = "\"" + text + "\" needs the unit " +
                (unit == Unit::None ? std::string("-none-") : std::string(1, wanted));
        if (unit == Unit::None) error = "\"" + text + "\": this field takes no unit";
        return std::nullopt;
    }
    const double y = std::ldexp(number * scale, -exponent);
    const double r = y >= 0 ? std::trunc(y + 0.5) : std::trunc(y - 0.5);
    if (r > 32767.0 || r < -32768.0) {
        error =
            "\"" + text + "\" does not fit the 16-bit raw range with exponent " + std::to_string(exponent);
        return std::nullopt;
    }
    return static_cast<int16_t>(r);
}

}  // namespace vsim
