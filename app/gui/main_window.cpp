#include "app/gui/main_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <algorithm>

#include "app/core/channel_selection.h"
#include "app/core/shell_commands.h"
#include "app/gui/channel_list_view.h"
#include "app/gui/event_loop_pause.h"
#include "app/gui/menu_table.h"
#include "base/command_ids.h"
#include "base/controller_type.h"
#include "base/debug_log.h"
#include "base/operator_seam.h"
#include "base/polling_state.h"
#include "base/settings.h"
#include "canfw/gui/fw_update_dialog.h"
#include "channel/channel_table.h"
#include "channel/composite_setters.h"
#include "configfile/gui/busy_cursor.h"
#include "configfile/gui/config_file_dialogs.h"
#include "ctrlfw/gui/controller_firmware_dialog.h"
#include "dialogs/gui/controller_configuration_dialog.h"
#include "dialogs/gui/dialog_events.h"
#include "dialogs/gui/dvm_window.h"
#include "dialogs/gui/jova_io_test_dialog.h"
#include "dialogs/gui/output_calibration_dialog.h"
#include "dialogs/gui/output_configuration_dialog.h"
#include "dialogs/output_calibration.h"
#include "link/link_state.h"
#include "link/usb_link.h"
#include "prg/vzprg.h"
#include "trace/gui/graph_commands.h"
#include "ui_about_dialog.h"

namespace vz {

MainWindow::MainWindow(bool expertView) : list_(new ChannelListView(this)), graphs_(new GraphCommands(this)) {
    setWindowTitle("VIDIzozorez");
    setCentralWidget(list_);
    resize(800, expertView ? 378 : 342);
    // A debug log file that could not take a line (a full disk) is named beside the menu, once: the
    // operator who asked for the log must not believe it is still being written.
    auto* logWatch = new QTimer(this);
    connect(logWatch, &QTimer::timeout, this, [this, logWatch] {
        const std::string failure = debugLogFileFailure();
        if (failure.empty()) return;
        auto* note = new QLabel(QString::fromStdString("  " + failure + "  "), menuBar());
        note->setObjectName("debugLogFailure");
        note->setStyleSheet("color: #b00000");
        menuBar()->setCornerWidget(note, Qt::TopRightCorner);
        note->show();
        logWatch->stop();
    });
    logWatch->start(1000);
    buildMenu(kFullMenu, kFullMenuSize);
    // The normal view never offers the expert commands, also not while the crate is searched.
    if (!expertView) removeExpertCommands();

    // Accelerator table 109: works whether or not the menu has the item.
    struct Accelerator {
        QKeySequence key;
        int id;
    };
    const Accelerator accelerators[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Slash), cmd::kInfo},
        {QKeySequence(Qt::ALT | Qt::Key_Question), cmd::kInfo},
        {QKeySequence(Qt::Key_G), cmd::kScope},
    };
    for (const auto& a : accelerators) {
        auto* shortcut = new QShortcut(a.key, this);
        shortcut->setContext(Qt::ApplicationShortcut);
        const int id = a.id;
        connect(shortcut, &QShortcut::activated, this, [this, id] { dispatchCommand(id); });
    }

    // The channel dialogs hear of new measurements and of a new selection by posted events, after
    // the main window has finished drawing or selecting.
    // The scope samples on the same repaint.
    list_->onRepainted = [this] {
        postToChannelDialogs(kListRepaintedEvent);
        graphs_->scopeSample();
    };
    list_->onRightClick = [this](int) {
        if (!outputConfiguration_ && !jovaIoTest_) openOutputConfiguration();
    };
    list_->onSelectionChanged = [this] { channelSelected(); };
}

MainWindow::~MainWindow() {
    // The dialogs are children: ~QWidget destroys them. Nothing they hold calls back into this window
    // (their links run only on the operator's commands), so only the list's repaint call goes first.
    list_->onRepainted = {};
}

OutputConfigurationDialog* MainWindow::outputConfiguration() const {
    return outputConfiguration_.data();
}

OutputCalibrationDialog* MainWindow::outputCalibration() const {
    return outputCalibration_.data();
}

void MainWindow::channelSelected() {
    postToChannelDialogs(kSelectionChangedEvent);
}

void MainWindow::postToChannelDialogs(int eventType, bool calibrationToo) {
    if (calibrationToo && outputCalibration_)
        QCoreApplication::postEvent(outputCalibration_, new QEvent(static_cast<QEvent::Type>(eventType)));
    if (outputConfiguration_ && outputConfiguration_->isEnabled())
        QCoreApplication::postEvent(outputConfiguration_, new QEvent(static_cast<QEvent::Type>(eventType)));
    if (dvm_) QCoreApplication::postEvent(dvm_, new QEvent(static_cast<QEvent::Type>(eventType)));
    if (jovaIoTest_)
        QCoreApplication::postEvent(jovaIoTest_, new QEvent(static_cast<QEvent::Type>(eventType)));
}

DvmWindow* MainWindow::dvmWindow() const {
    return dvm_.data();
}
JovaIoTestDialog* MainWindow::jovaIoTest() const {
    return jovaIoTest_.data();
}
ControllerConfigurationDialog* MainWindow::controllerConfiguration() const {
    return controllerConfiguration_.data();
}
ControllerFirmwareDialog* MainWindow::controllerFirmware() const {
    return controllerFirmware_.data();
}

void MainWindow::placeBeside(QWidget* dialog) const {
    // Right of the main window, its top level with the window's, so the list stays in sight; on the
    // left where the screen ends first, and within the screen in any case.
    const QRect main = frameGeometry();
    const QSize size = dialog->frameGeometry().size();
    QPoint at(main.right() + 1, main.top());
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.x() + size.width() > area.right() + 1) at.setX(main.left() - size.width());
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    dialog->move(at);
}

// Each modeless dialog is opened and closed by its own menu command.
void MainWindow::toggleDvm() {
    if (dvm_) {
        delete dvm_.data();
        return;
    }
    if (channelState().selectedChannel < 0 || channelState().selectedChannel >= kChannelCount) return;
    dvm_ = new DvmWindow(this);
    dvm_->show();
    placeBeside(dvm_);
}

void MainWindow::toggleControllerConfiguration() {
    if (controllerConfiguration_) {
        delete controllerConfiguration_.data();
        return;
    }
    controllerConfiguration_ = new ControllerConfigurationDialog(
        this, crateSettings().controllerType, (crateSettings().fCmdLine & kExpertView) != 0);
    controllerConfiguration_->show();
}

void MainWindow::toggleControllerFirmware() {
    // Closing by the menu command leaves the processor as it is; CANCEL resets it.
    if (controllerFirmware_) {
        delete controllerFirmware_.data();
        return;
    }
    const PrgInterface* prg = nullptr;
    PrgGetInterface(&prg);
    controllerFirmware_ = new ControllerFirmwareDialog(this, *prg);
    controllerFirmware_->setAttribute(Qt::WA_DeleteOnClose);
    controllerFirmware_->show();
}

void MainWindow::toggleOutputConfiguration() {
    // One command for both: the I/O test dialog stands in for a JOVA board's output configuration.
    if (outputConfiguration_ || jovaIoTest_) {
        delete outputConfiguration_.data();
        delete jovaIoTest_.data();
        return;
    }
    openOutputConfiguration();
}

void MainWindow::openOutputConfiguration() {
    if (channelState().selectedChannel < 0 || channelState().selectedChannel >= kChannelCount) return;
    const QOR& q =
        channelState().channelTable.channels[static_cast<std::size_t>(channelState().selectedChannel)];
    const OutputConfigurationTemplate form =
        outputConfigurationTemplate(crateSettings().controllerType, q.moduleKind);
    if (form == OutputConfigurationTemplate::none) {
        // A JOVA board on a QX308: its I/O test instead.
        jovaIoTest_ = new JovaIoTestDialog(this, (crateSettings().fCmdLine & kExpertView) != 0,
                                           channelState().selectedChannel);
        jovaIoTest_->show();
        return;
    }
    outputConfiguration_ = new OutputConfigurationDialog(this, form, crateSettings().controllerType,
                                                         (crateSettings().fCmdLine & kExpertView) != 0,
                                                         channelState().selectedChannel);
    outputConfiguration_->show();
    placeBeside(outputConfiguration_);
}

void MainWindow::toggleOutputCalibration() {
    if (outputCalibration_) {
        delete outputCalibration_.data();
        return;
    }
    if (channelState().selectedChannel < 0 || channelState().selectedChannel >= kChannelCount) return;
    const QOR& q =
        channelState().channelTable.channels[static_cast<std::size_t>(channelState().selectedChannel)];
    const OutputCalibrationTemplate form =
        outputCalibrationTemplate(crateSettings().controllerType, q.moduleKind);
    if (form == OutputCalibrationTemplate::none) return;  // a JOVA board has nothing to calibrate
    OutputCalibrationDialog::Links links;
    links.focusOutputConfiguration = [this](int id) {
        if (!outputConfiguration_) return;
        // After the focus requests the wizard's last step queued in the calibration dialog, and into
        // the other window: a focus set in an inactive window would stay where it was.
        QPointer<QWidget> dialog = outputConfiguration_.data();
        QTimer::singleShot(0, dialog, [dialog, id] {
            if (!dialog) return;
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                if (w->property("controlId").toInt() != id) continue;
                dialog->raise();
                dialog->activateWindow();
                w->setFocus(Qt::OtherFocusReason);
                if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
            }
        });
    };
    links.exponentsChanged = [this] {
        if (outputConfiguration_ && outputConfiguration_->isEnabled())
            QCoreApplication::postEvent(outputConfiguration_,
                                        new QEvent(static_cast<QEvent::Type>(kSelectionChangedEvent)));
    };
    links.channelMoved = [this](int) {
        list_->refresh();
        postToChannelDialogs(kSelectionChangedEvent, false);
    };
    // A setting changed by the wizard: the calibration dialog that changed it keeps its state.
    links.outputConfigChanged = [this] { postToChannelDialogs(kSelectionChangedEvent, false); };
    links.pause = pauseKeepingEventLoop;
    outputCalibration_ = new OutputCalibrationDialog(this, form, crateSettings().controllerType,
                                                     (crateSettings().fCmdLine & kExpertView) != 0,
                                                     channelState().selectedChannel, std::move(links));
    outputCalibration_->show();
}

void MainWindow::buildMenu(const MenuRow* rows, int count) {
    menuBar()->clear();
    actions_.clear();
    std::map<std::string, QMenu*> popups;
    for (int i = 0; i < count; ++i) {
        const MenuRow& row = rows[i];
        QAction* action = nullptr;
        if (row.popup) {
            QMenu*& popup = popups[row.popup];
            if (!popup) popup = menuBar()->addMenu(QString::fromLatin1(row.popup));
            action = popup->addAction(QString::fromLatin1(row.text));
        } else {
            action = menuBar()->addAction(QString::fromLatin1(row.text));
        }
        const int id = row.id;
        action->setProperty("commandId", id);
        connect(action, &QAction::triggered, this, [this, id] { dispatchCommand(id); });
        actions_[id] = action;
    }
}

QAction* MainWindow::menuAction(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::removeMenuCommand(int id) {
    const auto it = actions_.find(id);
    if (it == actions_.end()) return;
    QAction* action = it->second;
    actions_.erase(it);
    // Remove the item from whatever menu holds it; an emptied popup stays, as a deleted item leaves it.
    for (QObject* o : action->associatedObjects())
        if (auto* widget = qobject_cast<QWidget*>(o)) widget->removeAction(action);
    action->deleteLater();
}

void MainWindow::useReducedMenu() {
    buildMenu(kReducedMenu, kReducedMenuSize);
}

void MainWindow::adjustMenuForController(int type, bool expertView) {
    if (type == kKts || type == kVar7) {
        useReducedMenu();
    } else if (!expertView) {
        removeExpertCommands();
    }
}

void MainWindow::removeExpertCommands() {
    for (int id : {cmd::kTrace, cmd::kScope, cmd::kAllInhibitOn, cmd::kAllInhibitOff}) removeMenuCommand(id);
}

void MainWindow::dispatchCommand(int id) {
    emit commandDispatched(id);
    switch (id) {
        case cmd::kExit:
            close();
            break;
        case cmd::kSelectOutput:
            stepChannel(+1, [this] { channelSelected(); });
            list_->refresh();
            break;
        case cmd::kStop:
            crateSettings().pollingStoppedByOperator = !crateSettings().pollingStoppedByOperator;
            if (QAction* a = menuAction(cmd::kStop))
                a->setText(crateSettings().pollingStoppedByOperator ? "&Start" : "&Stop");
            break;
        case cmd::kInfo:
            showAbout();
            break;
        case cmd::kOutputConfiguration:
            toggleOutputConfiguration();
            break;
        case cmd::kOutputCalibration:
            toggleOutputCalibration();
            break;
        case cmd::kDvm:
            toggleDvm();
            break;
        case cmd::kScope:
            graphs_->scopeCommand();
            break;
        case cmd::kTrace:
            graphs_->traceCommand();
            break;
        case cmd::kSystemConfiguration:
            toggleControllerConfiguration();
            break;
        case cmd::kFirmwareUpdate:
            toggleControllerFirmware();
            break;
        case cmd::kFirmwareUpdateViaCan:
            openCanUpdateDialog(this);
            break;
        case cmd::kSaveConfiguration:
            saveConfigurationCommand(this);
            break;
        case cmd::kReadConfiguration: {
            ReadConfigDialog dialog(this);
            dialog.exec();
            break;
        }
        default: {
            const BusyCursor busy;
            runSwitchMenuCommand(id);
            break;
        }
    }
}

void MainWindow::showAbout() {
    QDialog dialog(this);
    Ui::AboutDialog ui;
    ui.setupUi(&dialog);
    auto version = [](const char* name, const uint32_t words[2]) {
        return QString::asprintf("%s Version %d.%d.%d.%d", name, words[0] >> 16, words[0] & 0xFFFF,
                                 words[1] >> 16, words[1] & 0xFFFF);
    };
    ui.programVersion->setText(QString::asprintf("%s %s Version %s", "VIDIzozorez", "", "2.1.6742.0"));
    ui.libraryVersion->setText(version("SiUSBXp.dll", linkState().usbInfo.dllVersion));
    ui.driverVersion->setText(version("USB Driver", linkState().usbInfo.driverVersion));
    dialog.exec();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const QChar c = text.at(0);
        if (c.isPrint()) {
            if (!list_->isLive()) return;  // nothing to switch before the list is shown
            const int digit = c.digitValue();
            if (c >= '0' && c <= '9' && toggleChannel(digit)) {
                selectChannel(digit, [this] { channelSelected(); });
                list_->refresh();
            } else {
                operatorSeam().beep(Beep::Error);
            }
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace vz
