#pragma once
// The "&File" commands of the main window: the save-file dialog and the read dialog.
#include <QDialog>
#include <QString>
#include <functional>

#include "configfile/config_read_options.h"

namespace Ui {
class ReadConfigDialog;
}

namespace vz {

// Asks for a file name (open or save); an empty text when cancelled. Tests replace it.
using FileChooser = std::function<QString(QWidget* owner, const QString& title, bool save)>;
extern FileChooser chooseConfigFile;

// Menu "&Save Power Supply Configuration to File".
void saveConfigurationCommand(QWidget* owner);

// Dialog 141, "Read Power Supply Data from File".
class ReadConfigDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReadConfigDialog(QWidget* parent);
    ~ReadConfigDialog() override;

    void accept() override;

private:
    void initialise();
    void browse();
    // The check boxes into the stored read options.
    void storeCheckBoxes(ConfigReadOptions& options) const;

    std::unique_ptr<Ui::ReadConfigDialog> ui_;
};

}  // namespace vz
