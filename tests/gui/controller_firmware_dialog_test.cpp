// The controller firmware dialog against the virtual crate's processor, by real clicks: BROWSE reads
// the device and prepares the chosen image, OK erases, programs and verifies it with progress, and
// CANCEL hands the link back; a failing link and a failing flash leave the image ready to run again.
#include "ctrlfw/gui/controller_firmware_dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <vector>

#include "app/core/connection.h"
#include "app/gui/main_window.h"
#include "base/clock.h"
#include "base/command_ids.h"
#include "base/polling_state.h"
#include "base/settings.h"
#include "link/link_state.h"
#include "link/module_access.h"
#include "link/usb_link.h"
#include "sim/tms320.h"
#include "sim/virtual_crate.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using namespace ctrldlg;
const std::string kExamples = VZ_CONTROLLER_FIRMWARE;

class ControllerFirmwareDialogTest : public test::CrateFixture {
  protected:
    void SetUp() override {
        CrateFixture::SetUp();
        setenv("VIDIZOZOREZ_FIRMWARE_PATH", kExamples.c_str(), 1);
        crateSettings().portName = "SIM";  // the stand-in access firmware goes to the virtual crate only
        useScenario(test::oneBridgeScenario(R"({"channel": 1, "serialNumber": 101})"));
        ASSERT_TRUE(usbOpen(linkState().usbInfo));
        bindDirectOperations();
        open();
    }
    void TearDown() override {
        dialog.reset();
        unsetenv("VIDIZOZOREZ_FIRMWARE_PATH");
        CrateFixture::TearDown();
    }
    void open() {
        const PrgInterface* prg = nullptr;
        ASSERT_EQ(PrgGetInterface(&prg), 0);
        dialog = std::make_unique<ControllerFirmwareDialog>(nullptr, *prg);
        dialog->chooseFile = [this](const QString& title, const QString&) {
            fileTitle = title;
            return QString::fromStdString(chosen);
        };
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    template <typename T = QWidget>
    T* ctl(int id) {
        return test::control<T>(dialog.get(), id);
    }
    QString text(int id) { return ctl<QLineEdit>(id)->text(); }
    // Clicks a button and waits for the work it starts to end.
    // The end of the work is posted after its last log line, so the log is complete when it arrives.
    void clickAndWait(int id) {
        QSignalSpy finished(dialog.get(), &ControllerFirmwareDialog::workFinished);
        test::clickThroughWindow(ctl(id));
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, test::kHangMs))
            << "the work did not end";
        ASSERT_FALSE(dialog->working());
    }
    bool logHas(const char* line) { return dialog->logText().contains(line); }
    std::vector<uint16_t> flashPart(uint32_t first, uint32_t end) {
        std::vector<uint16_t> words;
        for (uint32_t a = first; a < end; ++a) words.push_back(crate->dsp(0).flash().read(a));
        return words;
    }
    bool controllerAnswers() {
        uint8_t b[8];
        return moduleRead(0x81, 0x1000, 0, b, 8) == 8;
    }

    std::unique_ptr<ControllerFirmwareDialog> dialog;
    std::string chosen = kExamples + "/demo-firmware-3.10.out";
    QString fileTitle;
};

TEST_F(ControllerFirmwareDialogTest, BrowseThenOkUpdatesTheControllerAndCancelHandsTheLinkBack) {
    EXPECT_EQ(dialog->windowTitle(), "[SN SN1] Firmware");
    EXPECT_EQ(text(kCurrentFirmware), "BROWSE to scan!");
    EXPECT_EQ(text(kNewFirmware), "Invalid File");
    EXPECT_FALSE(ctl(kOk)->isEnabled());

    clickAndWait(kBrowse);
    EXPECT_EQ(text(kCurrentFirmware), "VELK-FW 3.07    ");
    EXPECT_EQ(text(kCurrentBootloader), "VELK-BL 2.03    ");
    EXPECT_EQ(fileTitle, "Device is programmed with \"VELK-FW 3.07    \", select new firmware file");
    EXPECT_EQ(text(kPath).toStdString(), chosen);
    EXPECT_EQ(text(kNewFirmware), "VELK-FW 3.10    ");
    EXPECT_TRUE(logHas("Part F281x(1), Rev C/D")) << dialog->logText().toStdString();
    EXPECT_TRUE(pollingStopped());
    ASSERT_TRUE(ctl(kOk)->isEnabled());

    clickAndWait(kOk);
    for (const char* line : {"Erase the flash (mask 0x03FC)", "Flash erased sucessfully", "Program OK",
                             "Verify OK", "*** Resetting TMS320 ***"})
        EXPECT_TRUE(logHas(line)) << line << "\n" << dialog->logText().toStdString();
    auto* bar = dialog->findChild<QProgressBar*>("progress");
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_FALSE(pollingStopped()) << "the list is live again after the reset";
    EXPECT_TRUE(controllerAnswers());

    test::clickThroughWindow(ctl(kCancel));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(controllerAnswers());
}

TEST_F(ControllerFirmwareDialogTest, AFailedStepLeavesTheImageReadyForAnotherRun) {
    clickAndWait(kBrowse);
    ASSERT_TRUE(ctl(kOk)->isEnabled());
    crate->dsp(0).addFault({vsim::DspFaultKind::LostAck, 3, uint16_t{11}});
    clickAndWait(kOk);
    EXPECT_TRUE(logHas("Failed flash programming!!!")) << dialog->logText().toStdString();
    EXPECT_TRUE(logHas("*** Resetting TMS320 ***"));
    EXPECT_TRUE(logHas("The controller does not start!!!")) << dialog->logText().toStdString();
    EXPECT_NE(crate->dsp(0).state(), vsim::Tms320State::ControllerFirmware);
    // No polling against the controller that just failed: no problem box covers the dialog.
    EXPECT_TRUE(pollingStopped());
    EXPECT_TRUE(seam.problemCaptions.empty());
    ASSERT_TRUE(ctl(kOk)->isEnabled()) << "the prepared image stays";
    clickAndWait(kOk);
    EXPECT_TRUE(logHas("Verify OK")) << dialog->logText().toStdString();
    EXPECT_TRUE(logHas("The controller runs its firmware again"));
    EXPECT_TRUE(controllerAnswers());
    EXPECT_FALSE(pollingStopped());
}

// A boot-loader image with "Erase Fw." checked asks first; "No" leaves the flash alone, and with the
// box cleared only the boot loader's sectors change.
TEST_F(ControllerFirmwareDialogTest, ABootLoaderWithEraseFirmwareCheckedAsksFirst) {
    chosen = kExamples + "/demo-bootloader-2.05.out";
    clickAndWait(kBrowse);
    test::clickThroughWindow(ctl(kEraseBootloader));
    const std::vector<uint16_t> firmware = flashPart(0x3D8000, 0x3F4000), all = flashPart(0x3D8000, 0x3F8000);
    seam.answers.push_back(BoxAnswer::No);
    test::clickThroughWindow(ctl(kOk));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_NE(seam.boxes[0].text.find("the controller will not run until a firmware is programmed"),
              std::string::npos);
    EXPECT_FALSE(dialog->working());
    EXPECT_EQ(flashPart(0x3D8000, 0x3F8000), all);

    test::clickThroughWindow(ctl(kEraseFirmware));
    clickAndWait(kOk);
    EXPECT_EQ(seam.boxes.size(), 1u) << "no question without the firmware erase";
    EXPECT_TRUE(logHas("Erase the flash (mask 0x0003)")) << dialog->logText().toStdString();
    EXPECT_EQ(flashPart(0x3D8000, 0x3F4000), firmware);
    EXPECT_TRUE(crate->dsp(0).flash().versionBlockValid(0x3F7F70));
    EXPECT_TRUE(controllerAnswers());
}

TEST_F(ControllerFirmwareDialogTest, AProcessorThatLosesAnEchoIsReportedAndLeftRunningItsFlash) {
    crate->dsp(0).addFault({vsim::DspFaultKind::LostEcho, 30, std::nullopt});
    clickAndWait(kBrowse);
    EXPECT_TRUE(logHas("Failed to load boot code")) << dialog->logText().toStdString();
    EXPECT_EQ(text(kCurrentFirmware), "Illegal Version!");
    test::clickThroughWindow(ctl(kCancel));
    EXPECT_TRUE(controllerAnswers());
    EXPECT_FALSE(pollingStopped());
}

TEST_F(ControllerFirmwareDialogTest, CancelWhileProgrammingStopsAtTheNextPacketAndRestartsTheProcessor) {
    clickAndWait(kBrowse);
    setClock(nullptr);  // real time, so that the run lasts long enough to be interrupted
    test::clickThroughWindow(ctl(kOk));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logHas("Program the flash:"); }, test::kHangMs));
    ASSERT_TRUE(dialog->working()) << dialog->logText().toStdString();
    test::clickThroughWindow(ctl(kCancel));
    // CANCEL joined the worker: what it logged before it stopped is posted and only needs delivering.
    QCoreApplication::sendPostedEvents();
    setClock(&clock_);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->working());
    EXPECT_TRUE(logHas("Failed flash programming!!!")) << dialog->logText().toStdString();
    EXPECT_TRUE(logHas("*** Resetting TMS320 ***"));
    EXPECT_FALSE(logHas("Verify the flash:"));
    EXPECT_NE(crate->dsp(0).state(), vsim::Tms320State::ControllerFirmware)
        << "an incomplete image does not boot";
    EXPECT_FALSE(pollingStopped());
}

TEST_F(ControllerFirmwareDialogTest, TheStepBoxesKeepTheirStateForTheNextDialog) {
    EXPECT_TRUE(ctl<QCheckBox>(kEraseFirmware)->isChecked());
    EXPECT_FALSE(ctl<QCheckBox>(kEraseBootloader)->isChecked());
    test::clickThroughWindow(ctl(kVerify));
    test::clickThroughWindow(ctl(kEraseBootloader));
    dialog.reset();
    open();
    EXPECT_FALSE(ctl<QCheckBox>(kVerify)->isChecked());
    EXPECT_TRUE(ctl<QCheckBox>(kEraseBootloader)->isChecked());
    EXPECT_TRUE(ctl<QCheckBox>(kProgram)->isChecked());
}

TEST_F(ControllerFirmwareDialogTest, CancelRightAfterOpeningStillResetsTheProcessor) {
    test::clickThroughWindow(ctl(kCancel));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(logHas("*** Resetting TMS320 ***"));
    EXPECT_TRUE(controllerAnswers());
}

// The menu command opens the dialog and, when it is open, closes it without touching the processor.
TEST_F(ControllerFirmwareDialogTest, TheMenuCommandOpensAndClosesTheDialogWithoutAReset) {
    dialog.reset();
    usbClose();  // the connection sequence opens the bridge itself
    crateSettings().fCmdLine |= kSkipSlip;
    crateSettings().searchLimit = 3;
    ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    MainWindow window(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QAction* command = window.menuAction(cmd::kFirmwareUpdate);
    ASSERT_TRUE(command);
    command->trigger();
    ControllerFirmwareDialog* opened = window.controllerFirmware();
    ASSERT_TRUE(opened);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(opened));
    opened->chooseFile = [this](const QString&, const QString&) { return QString::fromStdString(chosen); };
    QSignalSpy finished(opened, &ControllerFirmwareDialog::workFinished);
    test::clickThroughWindow(test::control<QWidget>(opened, kBrowse));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, test::kHangMs))
        << "the work did not end";
    ASSERT_EQ(crate->dsp(0).state(), vsim::Tms320State::AccessFirmware);
    command->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.controllerFirmware() == nullptr; }, test::kHangMs));
    EXPECT_EQ(crate->dsp(0).state(), vsim::Tms320State::AccessFirmware) << "closed by the menu: no reset";
}

}  // namespace
}  // namespace vz
