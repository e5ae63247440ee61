#pragma once
// The controls of a form, found by their dynamic property controlId, for the core's dialog logic.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>

#include "dialogs/dialog_controls.h"

namespace vz {

class WidgetControls : public DialogControls {
  public:
    // Indexes the form's controls once; the form must be set up already.
    explicit WidgetControls(QWidget* dialog);

    QWidget* widget(int id) const;

    std::optional<std::string> text(int id) const override;
    void setText(int id, const std::string& text) override;
    void appendText(int id, const std::string& text) override;
    bool edited(int id) const override;
    int comboCount(int id) const override;
    void addComboItem(int id, const std::string& text) override;
    int comboIndex(int id) const override;
    void setComboIndex(int id, int index) override;
    CheckState checkState(int id) const override;
    void setCheckState(int id, CheckState state) override;
    void setEnabled(int id, bool enabled) override;
    bool setVisible(int id, bool visible) override;
    void setReadOnly(int id, bool readOnly) override;
    void requestFocus(int id) override;
    void setCaption(const std::string& caption) override;
    void selectFocusedText() override;

  private:
    QWidget* dialog_;
    std::map<int, QPointer<QWidget>> controls_;
    std::map<int, std::string> shown_;  // the text the program last put into each control
};

// Every button, check box and radio button of the form that carries a control id runs command(id)
// when clicked: one dispatch on the id, as the dialogs' logic expects.
void connectButtonCommands(QWidget* dialog, const std::function<void(int)>& command);

}  // namespace vz
