#pragma once
// Dialog controls without a window: texts and states kept by control id, and the control last asked
// for the focus. Lets a command-line tool drive a dialog's logic step by step, as an operator would.
#include <map>
#include <set>
#include <string>

#include "dialogs/dialog_controls.h"

namespace vz {

class FormlessControls final : public DialogControls {
  public:
    // Only the given controls exist; the others read as absent, as in a template without them.
    explicit FormlessControls(std::set<int> ids) : ids_(std::move(ids)) {}

    std::optional<std::string> text(int id) const override;
    // What the program shows; type() is what an operator (or a meter) enters over it.
    void setText(int id, const std::string& text) override;
    void type(int id, const std::string& text);
    bool edited(int id) const override;
    void appendText(int id, const std::string& text) override;
    int comboCount(int) const override { return -1; }
    void addComboItem(int, const std::string&) override {}
    int comboIndex(int) const override { return -1; }
    void setComboIndex(int, int) override {}
    CheckState checkState(int id) const override;
    void setCheckState(int id, CheckState state) override;
    void setEnabled(int, bool) override {}
    bool setVisible(int id, bool visible) override;
    void setReadOnly(int, bool) override {}
    void requestFocus(int id) override { focus_ = id; }
    void setCaption(const std::string& caption) override { caption_ = caption; }
    void selectFocusedText() override {}

    int focus() const { return focus_; }
    const std::string& caption() const { return caption_; }

  private:
    std::set<int> ids_;
    std::map<int, std::string> texts_;
    std::map<int, std::string> shown_;
    std::map<int, CheckState> checks_;
    std::set<int> hidden_;
    int focus_ = 0;
    std::string caption_;
};

}  // namespace vz
