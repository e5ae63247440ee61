#include "configfile/gui/config_file_dialogs.h"

#include <QFileDialog>
#include <QPushButton>

#include "base/settings.h"
#include "configfile/config_file_commands.h"
#include "configfile/gui/busy_cursor.h"
#include "configfile/module_file_io.h"
#include "link/usb_link.h"
#include "ui_read_config_dialog.h"

namespace vz {

namespace {

const QString kFilters = QStringLiteral("All (*.*);;Power Supply Configuration File (*.pscfg)");

QString runFileDialog(QWidget* owner, const QString& title, bool save) {
    QFileDialog dialog(owner, title, QString::fromStdString(moduleFileIo().fileName), kFilters);
    dialog.selectNameFilter(QStringLiteral("Power Supply Configuration File (*.pscfg)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kConfigFileExtension));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString serialCaption(const char* format) {
    return QString::asprintf(format, usbSerial().c_str());
}

}  // namespace

FileChooser chooseConfigFile = runFileDialog;

void saveConfigurationCommand(QWidget* owner) {
    const QString path =
        chooseConfigFile(owner, serialCaption("[SN %s] Save Configuration Data to File"), true);
    if (path.isEmpty()) return;
    const BusyCursor busy;
    savePowerSupplyConfiguration(path.toStdString());
}

ReadConfigDialog::ReadConfigDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ReadConfigDialog>()) {
    ui_->setupUi(this);
    QPushButton* ok = ui_->buttons->button(QDialogButtonBox::Ok);
    QPushButton* cancel = ui_->buttons->button(QDialogButtonBox::Cancel);
    ok->setText("OK");
    ok->setProperty("controlId", 1);
    cancel->setText("CANCEL");
    cancel->setProperty("controlId", 2);
    connect(ui_->buttons, &QDialogButtonBox::accepted, this, &ReadConfigDialog::accept);
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &ReadConfigDialog::reject);
    connect(ui_->browse, &QPushButton::clicked, this, &ReadConfigDialog::browse);
    initialise();
}

ReadConfigDialog::~ReadConfigDialog() = default;

void ReadConfigDialog::initialise() {
    MODULE_FILE_IO& io = moduleFileIo();
    ConfigReadOptions& options = io.readOptions;
    setWindowTitle(serialCaption("[SN %s] Read Power Supply Data from File"));

    ui_->fileChannel->clear();
    for (const std::string& choice : fileChannelChoices(crateSettings().typeChannelLimit))
        ui_->fileChannel->addItem(QString::fromStdString(choice));
    ui_->fileChannel->setCurrentIndex(std::clamp(options.fileChannel, 0, ui_->fileChannel->count() - 1));

    if (ui_->channels->count() == 0) {
        const std::vector<int> preselected = preselectedTargets();
        for (int i = 0; i < crateSettings().typeChannelLimit; ++i) {
            auto* item = new QListWidgetItem(QString::number(i), ui_->channels);
            item->setSelected(std::find(preselected.begin(), preselected.end(), i) != preselected.end());
        }
    }
    ui_->fileName->setText(QString::fromStdString(io.fileName));

    const ReadDialogControls controls =
        readDialogControls(crateSettings().controllerType, crateSettings().fCmdLine);
    applyReadDialogControls(controls, options);
    if (controls.wdxFixed) {
        ui_->outputUser->setEnabled(false);
        ui_->fileChannel->setEnabled(false);
        ui_->channels->setEnabled(false);
    }
    ui_->sysUser->setChecked(options.sysUser);
    ui_->sysConfig->setChecked(options.sysConfig);
    ui_->outputUser->setChecked(options.outputUser);
    ui_->outputConfig->setChecked(options.outputConfig);
    ui_->outputCalib->setChecked(options.outputCalib);
    ui_->outputConfig->setEnabled(controls.outputConfig);
    ui_->sysConfig->setEnabled(controls.sysConfig);
    ui_->outputCalib->setEnabled(controls.outputCalib);
}

void ReadConfigDialog::storeCheckBoxes(ConfigReadOptions& options) const {
    options.sysUser = ui_->sysUser->isChecked();
    options.sysConfig = ui_->sysConfig->isChecked();
    options.outputUser = ui_->outputUser->isChecked();
    options.outputConfig = ui_->outputConfig->isChecked();
    options.outputCalib = ui_->outputCalib->isChecked();
}

void ReadConfigDialog::browse() {
    const QString path = chooseConfigFile(this, QStringLiteral("Select Configuration Data File"), false);
    if (path.isEmpty()) return;
    moduleFileIo().fileName = path.toStdString();
    storeCheckBoxes(moduleFileIo().readOptions);
    initialise();
}

void ReadConfigDialog::accept() {
    MODULE_FILE_IO& io = moduleFileIo();
    if (io.fileName.empty()) {
        const QString path = chooseConfigFile(this, QStringLiteral("Select Configuration Data File"), false);
        if (path.isEmpty()) return;  // the dialog stays open
        io.fileName = path.toStdString();
        initialise();
    }
    const ConfigReadOptions previous = io.readOptions;
    ConfigReadOptions options = previous;
    storeCheckBoxes(options);
    options.fileChannel = ui_->fileChannel->currentIndex();
    options.targets.clear();
    for (int i = 0; i < ui_->channels->count(); ++i)
        if (ui_->channels->item(i)->isSelected()) options.targets.push_back(i);
    bool applied;
    {
        const BusyCursor busy;
        applied = applyConfigurationFile(io.fileName, options);
    }
    if (!applied) {
        io.readOptions = previous;  // a file that does not parse changes nothing; choose another one
        return;
    }
    QDialog::accept();
}

}  // namespace vz
