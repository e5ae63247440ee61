#include "dialogs/field_helpers.h"

#include <cmath>
#include <limits>

#include "base/debug_log.h"
#include "base/message_boxes.h"
#include "base/text_format.h"
#include "dialogs/field_parsing.h"

namespace vz {

namespace {

// Steps 3 to 5 of every reader: compare, ask, store.
template <typename T>
bool storeIfChanged(T& target, T value, const AcceptFn<T>& accept) {
    if (value == target) return false;
    if (accept && !accept(value)) return false;
    target = value;
    return true;
}

template <typename T>
bool getEditInteger(DialogControls& d, int id, T& target, const AcceptFn<T>& accept, const char* format) {
    const std::optional<std::string> text = d.text(id);
    if (!text || !d.edited(id)) return false;
    const std::optional<long long> value = parseFieldInteger(*text, format);
    if (!value) return false;
    // Cutting 70000 to 16 bits would store 4464: a value the field cannot hold is no value for it.
    if (*value < static_cast<long long>(std::numeric_limits<T>::min()) ||
        *value > static_cast<long long>(std::numeric_limits<T>::max())) {
        debugLog(kLogWarning, "control %d: %lld does not fit the field, not applied", id, *value);
        return false;
    }
    return storeIfChanged(target, static_cast<T>(*value), accept);
}

}  // namespace

bool getEditU8(DialogControls& d, int id, uint8_t& target, const AcceptFn<uint8_t>& accept,
               const char* format) {
    return getEditInteger(d, id, target, accept, format);
}
bool getEditI16(DialogControls& d, int id, int16_t& target, const AcceptFn<int16_t>& accept,
                const char* format) {
    return getEditInteger(d, id, target, accept, format);
}
bool getEditU16(DialogControls& d, int id, uint16_t& target, const AcceptFn<uint16_t>& accept,
                const char* format) {
    return getEditInteger(d, id, target, accept, format);
}
bool getEditI32(DialogControls& d, int id, int32_t& target, const AcceptFn<int32_t>& accept,
                const char* format) {
    return getEditInteger(d, id, target, accept, format);
}
bool getEditU32(DialogControls& d, int id, uint32_t& target, const AcceptFn<uint32_t>& accept,
                const char* format) {
    return getEditInteger(d, id, target, accept, format);
}

bool getEditFloat(DialogControls& d, int id, float& target, const AcceptFn<float>& accept) {
    const std::optional<std::string> text = d.text(id);
    if (!text || !d.edited(id)) return false;  // the shown text is rounded: not a new value
    const std::optional<double> value = parseFieldReal(*text, 1e38);
    if (!value) return false;
    return storeIfChanged(target, static_cast<float>(*value), accept);
}

bool getEditDouble(DialogControls& d, int id, double& target, const AcceptFn<double>& accept) {
    const std::optional<std::string> text = d.text(id);
    if (!text || !d.edited(id)) return false;  // the shown text is rounded: not a new value
    const std::optional<double> value = parseFieldReal(*text, 1e99);
    if (!value) return false;
    return storeIfChanged(target, *value, accept);
}

bool getEditScaled(DialogControls& d, int id, int16_t& raw, int exponent, const AcceptFn<int16_t>& accept) {
    double v = std::ldexp(static_cast<double>(raw), exponent);
    getEditDouble(d, id, v);
    const double max = std::ldexp(32767.0, exponent);
    const double min = std::ldexp(-32768.0, exponent);
    if (v > max) {
        printBox("Value %lf is too large (maximum is %lf)", v, max);
        return false;
    }
    if (v < min) {
        printBox("Value %lf is too small (minimum is %lf)", v, min);
        return false;
    }
    const double y = std::ldexp(v, -exponent);
    const auto value = static_cast<int16_t>(std::trunc(y < 0 ? y - 0.5 : y + 0.5));
    return storeIfChanged(raw, value, accept);
}

bool getComboIndex(DialogControls& d, int id, unsigned& target, const AcceptFn<unsigned>& accept) {
    const int index = d.comboIndex(id);
    if (d.comboCount(id) < 0) return false;  // no such box
    return storeIfChanged(target, index < 0 ? 0u : static_cast<unsigned>(index), accept);
}

bool getCheckBit(DialogControls& d, int id, uint32_t& word, int bit, const AcceptFn<uint32_t>& accept) {
    if (!d.text(id)) return false;
    const uint32_t mask = 1u << bit;
    const uint32_t value = d.checkState(id) == CheckState::checked ? (word | mask) : (word & ~mask);
    return storeIfChanged(word, value, accept);
}

bool getCheckBool(DialogControls& d, int id, uint8_t& target, const AcceptFn<uint8_t>& accept) {
    if (!d.text(id)) return false;
    return storeIfChanged(target, static_cast<uint8_t>(d.checkState(id) == CheckState::checked ? 1 : 0),
                          accept);
}

void setEditInt(DialogControls& d, int id, long long value, const char* format) {
    d.setText(id, formatText(kFieldTextLimit, format, value));
}

void setEditDouble(DialogControls& d, int id, double value, const char* format) {
    d.setText(id, formatText(kFieldTextLimit, format, value));
}

void fillCombo(DialogControls& d, int id, const char* const* texts, int count, int index) {
    if (d.comboCount(id) == 0)
        for (int i = 0; i < count; ++i) d.addComboItem(id, texts[i]);
    d.setComboIndex(id, index);
}

void setCheck(DialogControls& d, int id, bool checked) {
    d.setCheckState(id, checked ? CheckState::checked : CheckState::unchecked);
}

void appendEditText(DialogControls& d, int id, const std::string& text) {
    std::string crlf;
    for (char c : text.substr(0, 1023)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    d.appendText(id, crlf);
}

void enableItem(DialogControls& d, int id, bool enable) {
    d.setEnabled(id, enable);
}
bool showItem(DialogControls& d, int id, bool show) {
    return d.setVisible(id, show);
}
void focusItem(DialogControls& d, int id) {
    d.requestFocus(id);
}

}  // namespace vz
