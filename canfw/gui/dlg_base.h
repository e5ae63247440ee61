#pragma once
// The module updater's dialog base: a dialog over a form whose controls carry their control id (the
// "controlId" property), found and connected by that id.
#include <QDialog>
#include <functional>
#include <string>

namespace vz {

class CDlgBase : public QDialog {
    Q_OBJECT
  public:
    CDlgBase(QWidget* parent, int templateId) : QDialog(parent), templateId_(templateId) {}
    ~CDlgBase() override = default;

    int templateId() const { return templateId_; }

  protected:
    // The control with this id, or nullptr.
    QWidget* control(int id) const;
    // Runs the handler when the control with this id is used: a button clicked, a combo box's
    // selection changed.
    void onCommand(int id, std::function<void()> handler);
    void enable(int id, bool on) const;
    void setText(int id, const std::string& text) const;
    bool ticked(int id) const;

  private:
    int templateId_;
};

}  // namespace vz
