#pragma once
// The controls of one open dialog, addressed by control id. The field helpers and the dialogs' logic
// work on this interface; the Qt half implements it over the widgets of a form. A control the dialog
// does not have reads as absent and ignores writes, so one routine serves several templates.
#include <optional>
#include <string>

namespace vz {

enum class CheckState { unchecked, checked, indeterminate };

class DialogControls {
  public:
    virtual ~DialogControls() = default;

    // The control's text; nullopt when the dialog has no such control.
    virtual std::optional<std::string> text(int id) const = 0;
    virtual void setText(int id, const std::string& text) = 0;
    // Whether the text differs from the one the program last put there. A shown value is rounded to
    // the field's decimals and does not always parse back to the value it came from, so the readers
    // take only texts the operator changed. A control the program never filled counts as edited.
    virtual bool edited(int id) const {
        (void)id;
        return true;
    }
    // Inserts at the end of a multi-line edit control and leaves the caret there.
    virtual void appendText(int id, const std::string& text) = 0;

    // Combo boxes: the count is -1 when there is no such box, the index -1 without a selection.
    virtual int comboCount(int id) const = 0;
    virtual void addComboItem(int id, const std::string& text) = 0;
    virtual int comboIndex(int id) const = 0;
    virtual void setComboIndex(int id, int index) = 0;

    virtual CheckState checkState(int id) const = 0;
    virtual void setCheckState(int id, CheckState state) = 0;

    virtual void setEnabled(int id, bool enabled) = 0;
    // Returns whether the control was visible before.
    virtual bool setVisible(int id, bool visible) = 0;
    virtual void setReadOnly(int id, bool readOnly) = 0;
    // Asks for the focus to move to the control (later, from the event loop).
    virtual void requestFocus(int id) = 0;

    virtual void setCaption(const std::string& caption) = 0;
    // Selects the whole text of the control that has the keyboard focus, if it has text.
    virtual void selectFocusedText() = 0;
};

}  // namespace vz
