#pragma once
// The program's one top-level window: the channel list as client area, menus from the command
// tables, accelerators, and one dispatch on the command id.
#include <QMainWindow>
#include <QPointer>
#include <map>

class QAction;
class QMenu;

namespace vz {

class ChannelListView;
class ControllerConfigurationDialog;
class ControllerFirmwareDialog;
class DvmWindow;
class GraphCommands;
class JovaIoTestDialog;
class OutputCalibrationDialog;
class OutputConfigurationDialog;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(bool expertView);
    ~MainWindow() override;

    // Runs a command as the menu, an accelerator or a hidden id would.
    void dispatchCommand(int id);
    // The menu item of a command, nullptr when the menu has none.
    QAction* menuAction(int id) const;
    void removeMenuCommand(int id);
    // Replaces the full menu by the reduced one (KTS and VAR7 controllers).
    void useReducedMenu();
    // The menu after the connection: reduced for KTS and VAR7, without trace, scope and inhibit
    // unless the expert view is on.
    void adjustMenuForController(int type, bool expertView);
    ChannelListView* channelList() const { return list_; }
    // The open output configuration dialog; nullptr while it is closed.
    OutputConfigurationDialog* outputConfiguration() const;
    // The open output calibration dialog; nullptr while it is closed.
    OutputCalibrationDialog* outputCalibration() const;
    DvmWindow* dvmWindow() const;
    JovaIoTestDialog* jovaIoTest() const;
    ControllerConfigurationDialog* controllerConfiguration() const;
    ControllerFirmwareDialog* controllerFirmware() const;
    // The scope and trace graphs.
    GraphCommands* graphCommands() const { return graphs_; }
    // The selected channel changed (by a key, a click or the arrow keys): the open channel dialogs
    // re-read it.
    void channelSelected();

  signals:
    void commandDispatched(int id);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void buildMenu(const struct MenuRow* rows, int count);
    void removeExpertCommands();
    // Moves a modeless channel dialog beside the main window.
    void placeBeside(QWidget* dialog) const;
    void showAbout();
    void toggleOutputConfiguration();
    void openOutputConfiguration();
    void toggleOutputCalibration();
    // Posts a notification to the open channel dialogs; the calibration dialog may be left out, as
    // for a set point the wizard itself just changed.
    void postToChannelDialogs(int eventType, bool calibrationToo = true);

    ChannelListView* list_;
    GraphCommands* graphs_;
    void toggleDvm();
    void toggleControllerConfiguration();
    void toggleControllerFirmware();

    QPointer<OutputConfigurationDialog> outputConfiguration_;
    QPointer<OutputCalibrationDialog> outputCalibration_;
    QPointer<DvmWindow> dvm_;
    QPointer<JovaIoTestDialog> jovaIoTest_;
    QPointer<ControllerConfigurationDialog> controllerConfiguration_;
    QPointer<ControllerFirmwareDialog> controllerFirmware_;
    std::map<int, QAction*> actions_;
};

}  // namespace vz
