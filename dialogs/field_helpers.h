#pragma once
// Moving a value between a dialog control and a field of a channel record. A reader writes a field
// only when the control shows a different value, and only after the accept callback (a bound setter
// that sends the value to the module) agreed; so applying a dialog sends exactly the changed fields,
// one command each, and a refused value leaves both the module and the local copy as they were.
//
// Every reader returns true when it stored a new value; false when the value was unchanged, the text
// was no number or out of the field's range, or the callback refused it. A text the operator did not
// change is not read at all: the dialogs show values with fewer decimals than a raw step needs, and
// such a text need not parse back to the value it came from (see DialogControls::edited).
#include <cstdint>
#include <functional>
#include <string>

#include "dialogs/dialog_controls.h"

namespace vz {

template <typename T>
using AcceptFn = std::function<bool(T)>;

bool getEditU8(DialogControls& d, int id, uint8_t& target, const AcceptFn<uint8_t>& accept = {},
               const char* format = "%i");
bool getEditI16(DialogControls& d, int id, int16_t& target, const AcceptFn<int16_t>& accept = {},
                const char* format = "%i");
bool getEditU16(DialogControls& d, int id, uint16_t& target, const AcceptFn<uint16_t>& accept = {},
                const char* format = "%i");
bool getEditI32(DialogControls& d, int id, int32_t& target, const AcceptFn<int32_t>& accept = {},
                const char* format = "%i");
bool getEditU32(DialogControls& d, int id, uint32_t& target, const AcceptFn<uint32_t>& accept = {},
                const char* format = "%i");
bool getEditFloat(DialogControls& d, int id, float& target, const AcceptFn<float>& accept = {});
bool getEditDouble(DialogControls& d, int id, double& target, const AcceptFn<double>& accept = {});

// A field shown in volts or amperes and held as raw · 2^exponent. Values beyond the 16-bit raw range
// at this exponent are reported through printBox ("Value %lf is too large (maximum is %lf)", or
// "too small (minimum ...)") and skipped; any narrower limit is the module's to refuse.
bool getEditScaled(DialogControls& d, int id, int16_t& raw, int exponent,
                   const AcceptFn<int16_t>& accept = {});

// The selected item; no selection counts as index 0.
bool getComboIndex(DialogControls& d, int id, unsigned& target, const AcceptFn<unsigned>& accept = {});
// Bit n of a flags word from a check box (indeterminate counts as unchecked); the callback gets the
// whole new word.
bool getCheckBit(DialogControls& d, int id, uint32_t& word, int bit, const AcceptFn<uint32_t>& accept = {});
bool getCheckBool(DialogControls& d, int id, uint8_t& target, const AcceptFn<uint8_t>& accept = {});

// Writers.
void setEditInt(DialogControls& d, int id, long long value, const char* format = "%lli");
void setEditDouble(DialogControls& d, int id, double value, const char* format);
// Adds the texts only when the box is empty, so a dialog may refresh as often as it likes; selects
// the index in any case.
void fillCombo(DialogControls& d, int id, const char* const* texts, int count, int index);
void setCheck(DialogControls& d, int id, bool checked);
// Inserts at the end of a multi-line edit control; every line feed goes in as CR LF.
void appendEditText(DialogControls& d, int id, const std::string& text);
void enableItem(DialogControls& d, int id, bool enable);
bool showItem(DialogControls& d, int id, bool show);
void focusItem(DialogControls& d, int id);

}  // namespace vz
