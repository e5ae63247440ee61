// The firmware-update-via-CAN dialog against the virtual crate, driven by control id: Search and the
// module list, the file kinds, the rules that enable Program, Prepare and Start, a full programming
// run, a backup that loads back, and closing the dialog while a job runs.
#include "canfw/gui/fw_update_dialog.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <numeric>
#include <thread>
#include <vector>

#include "app/core/connection.h"
#include "base/clock.h"
#include "base/settings.h"
#include "base/text_format.h"
#include "canfw/firmware_hex_reader.h"
#include "canfw/log_text.h"
#include "channel/channel_table.h"
#include "sim/controller.h"
#include "sim/module.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::control;

std::string demoFirmware() {
    return std::string(VZ_TEST_DATA) + "/DEMO4011_2.2.0.0_FW.HEX";
}

// The threads that carry the program's own name, as the updater's worker does. Qt names its helper
// threads, which come and go on their own time, so they are no part of the count.
std::vector<std::string> ownThreads() {
    std::vector<std::string> names;
    std::string program;
    std::getline(std::ifstream("/proc/self/comm"), program);
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/comm");
            std::string name;
            std::getline(in, name);
            if (name == program) names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

class FwUpdateDialogTest : public test::CrateFixture {
  protected:
    void SetUp() override {
        CrateFixture::SetUp();
        // 1: dsPIC30F4011 running application 2.0.0.0; 2: dsPIC30F4013; 3: dsPIC30F3012 (shown, never
        // written); 4: a dsPIC30F4011 with only its boot loader.
        useScenario(test::oneBridgeScenario(
            R"({"channel": 1, "serialNumber": 101, "processor": "dsPIC30F4011",
                "bootLoader": {"version": "1.4.0.0", "built": "2026-03-02 09:15:00"},
                "application": {"version": "2.0.0.0", "rows": 24}},
               {"channel": 4, "serialNumber": 104, "processor": "dsPIC30F4011",
                "bootLoader": {"version": "1.4.0.0", "built": "2026-03-02 09:15:00"}, "application": "none"},
               {"channel": 2, "serialNumber": 102, "processor": "dsPIC30F4013"},
               {"channel": 3, "serialNumber": 103, "processor": "dsPIC30F3012"})",
            "", R"("canTimeoutMs": 10)"));
        crateSettings().fCmdLine |= kSkipSlip;
        crateSettings().searchLimit = 6;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
        {
            // Qt starts its own helper threads with the first window; they are no part of the count.
            QDialog warmUp;
            warmUp.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&warmUp));
            // ThreadSanitizer starts a helper thread of its own with the first thread created.
            std::thread([] {}).join();
        }
        threadsBefore = ownThreads().size();
        dialog = std::make_unique<CFwUpdateDlg>(nullptr);
        dialog->confirm = [this](const QString&, const QString&) {
            ++questions;
            return answer;
        };
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void TearDown() override {
        dialog.reset();
        CrateFixture::TearDown();
    }
    bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, test::kHangMs); }
    // A job posts its messages before it leaves the queue, and what they start is a job again: idle
    // once no job runs after everything posted has been delivered.
    bool idle() {
        return waitFor([&] {
            if (dialog->jobRunning()) return false;
            QCoreApplication::sendPostedEvents();
            return !dialog->jobRunning();
        });
    }
    template <typename T = QWidget>
    T* ctl(int id) {
        return control<T>(dialog.get(), id);
    }
    QString text(int id) { return ctl<QLineEdit>(id)->text(); }
    QString log() { return ctl<QPlainTextEdit>(fwdlg::kLog)->toPlainText(); }
    void click(int id) {
        ASSERT_TRUE(ctl<QPushButton>(id)->isEnabled()) << id;
        test::clickThroughWindow(ctl(id));
    }
    void post(int kind, uint32_t value) {
        dialog->updaterReceiver().post(UpdaterMessage{kind, {uint8_t(value), 0, 0, 0}});
        QCoreApplication::sendPostedEvents(dialog.get());
    }
    void middleClickRunningType(Qt::KeyboardModifiers keys) {
        QWidget* field = ctl(fwdlg::kRunningType);
        QTest::mouseClick(dialog->windowHandle(), Qt::MiddleButton, keys,
                          field->mapTo(dialog.get(), field->rect().center()));
        QCoreApplication::processEvents();
    }
    // Search, then the module chosen with the keyboard in the list.
    void searchAndSelect(int row) {
        click(fwdlg::kSearch);
        auto* list = ctl<QComboBox>(fwdlg::kModules);
        ASSERT_TRUE(waitFor([&] { return list->count() == 4; }));
        ASSERT_TRUE(idle());
        list->setFocus();
        for (int i = 0; i <= row; ++i) QTest::keyClick(list, Qt::Key_Down);
        ASSERT_EQ(list->currentIndex(), row);
        ASSERT_TRUE(idle());
    }
    vsim::BootFirmware& firmware(int channel) { return crate->controller().module(channel)->bootFirmware(); }
    std::string tempPath(const std::string& name) const {
        return ::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
               name;
    }

    std::unique_ptr<CFwUpdateDlg> dialog;
    size_t threadsBefore = 0;
    bool answer = true;
    int questions = 0;
};

TEST_F(FwUpdateDialogTest, SearchListsTheModulesSortedAndSelectionShowsVersionsAndRunningFirmware) {
    EXPECT_TRUE(dialog->windowTitle().endsWith("] Firmware-Update via CAN"))
        << dialog->windowTitle().toStdString();
    EXPECT_TRUE(dialog->windowTitle().startsWith("[SN "));
    searchAndSelect(0);
    auto* list = ctl<QComboBox>(fwdlg::kModules);
    EXPECT_EQ(list->itemText(0), "    1  -  dsPIC30F4011");
    EXPECT_EQ(list->itemText(1), "    2  -  dsPIC30F4013");
    EXPECT_EQ(list->itemText(2), "    3  -  dsPIC30F3012");
    EXPECT_EQ(list->itemText(3), "    4  -  dsPIC30F4011");
    EXPECT_EQ(dialog->selectedDevice().iModuleId, 1);
    EXPECT_TRUE(text(fwdlg::kBootVersion).startsWith("1.4.0.0")) << text(fwdlg::kBootVersion).toStdString();
    EXPECT_TRUE(text(fwdlg::kAppVersion).startsWith("2.0.0.0")) << text(fwdlg::kAppVersion).toStdString();
    EXPECT_TRUE(ctl(fwdlg::kBootVersion)->isEnabled());
    EXPECT_EQ(text(fwdlg::kRunningType), "Application");
    // Backup is offered for a selected module while nothing runs; the restores are not.
    EXPECT_TRUE(waitFor([&] { return ctl(fwdlg::kBackup)->isEnabled(); }));
    EXPECT_FALSE(ctl(fwdlg::kRestoreEe)->isEnabled());
    EXPECT_FALSE(ctl(fwdlg::kRestorePm)->isEnabled());

    // A second report of a listed module replaces its entry instead of adding one.
    DeviceInfo again;
    std::memcpy(&again, list->itemData(3).toByteArray().constData(), sizeof again);
    again.revisionNr = 77;
    dialog->updaterReceiver().post(UpdaterMessage{
        kMsgDeviceFound, std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&again),
                                              reinterpret_cast<uint8_t*>(&again) + sizeof again)});
    QCoreApplication::sendPostedEvents(dialog.get());
    ASSERT_EQ(list->count(), 4);
    DeviceInfo stored;
    std::memcpy(&stored, list->itemData(3).toByteArray().constData(), sizeof stored);
    EXPECT_EQ(stored.revisionNr, 77u);
}

TEST_F(FwUpdateDialogTest, LogKeepsItsNewestLinesWithinItsLimit) {
    // Lines of 50 characters with CR LF: the window holds LF only, the count both; past 64000 the
    // oldest line goes for each new one.
    for (int i = 0; i < 1400; ++i) {
        const std::string line = formatText(kLineLimit, "%046d\r\n", i);
        dialog->updaterReceiver().post(UpdaterMessage{kMsgLog, {line.begin(), line.end()}});
    }
    ASSERT_TRUE(waitFor([&] { return log().endsWith(QString::asprintf("%046d\n", 1399)); }));
    EXPECT_FALSE(log().contains('\r'));
    EXPECT_FALSE(log().startsWith(QString::asprintf("%046d", 0)));
    EXPECT_LE(dialog->logLength(), fwdlg::kLogLimit + 2 * 48);
    EXPECT_GT(dialog->logLength(), fwdlg::kLogLimit - 2 * 48);
    EXPECT_EQ(dialog->logLength(), log().size() + log().count('\n'));
}

TEST_F(FwUpdateDialogTest, FileKindFollowsTheName) {
    const struct {
        const char* path;
        const char* kind;
    } cases[] = {
        {"/fw/APP_FW.HEX", "Application"},
        {"/fw/app_fw.hex", "Application"},
        {"/fw/MOD_FBU.HEX", "Update Application"},
        {"/fw/boot_BL.HEX", "Bootloader"},
        {"/fw/a_BL.HEX.b_FW.HEX", "Application"},  // the later kind wins
        {"_FW.HEX", "unsupported"},                // a match at the first character names nothing
        {"/fw/plain.hex", "unsupported"},
    };
    for (const auto& c : cases) {
        dialog->setFirmwarePath(c.path);
        EXPECT_EQ(text(fwdlg::kFileType).toStdString(), c.kind) << c.path;
        EXPECT_EQ(text(fwdlg::kPath).toStdString(), c.path);
    }
    // A file dropped onto the dialog becomes the firmware file.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(demoFirmware()))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.get(), &drop);
    EXPECT_EQ(text(fwdlg::kPath).toStdString(), demoFirmware());
    EXPECT_EQ(dialog->fileType(), 2);
    // A dropped directory is no firmware file: the rule of Browse holds for drops too.
    const QString folderPath = QDir::tempPath() + "/vz_dropped_FW.HEX";
    ASSERT_TRUE(QDir().mkpath(folderPath));
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(folderPath)});
    QDragEnterEvent enterFolder(QPoint(20, 20), Qt::CopyAction, &folder, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.get(), &enterFolder);
    QDropEvent dropFolder(QPointF(20, 20), Qt::CopyAction, &folder, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog.get(), &dropFolder);
    EXPECT_EQ(text(fwdlg::kPath).toStdString(), demoFirmware());
    EXPECT_TRUE(waitFor([&] { return log().contains("Not a regular file, ignored"); }))
        << log().toStdString();
    QDir().rmdir(folderPath);
}

TEST_F(FwUpdateDialogTest, RunningFirmwareAndFileKindDecideProgramPrepareAndStart) {
    post(kMsgBootVersion, 0);  // a version was seen
    const struct {
        int running;
        const char* file;
        bool program, prepare, start;
    } cases[] = {
        {1, "/fw/APP_FW.HEX", true, false, true},    {1, "/fw/UPD_FBU.HEX", true, false, true},
        {1, "/fw/BOOT_BL.HEX", false, false, true},  {2, "/fw/APP_FW.HEX", false, true, false},
        {2, "/fw/BOOT_BL.HEX", false, false, false}, {3, "/fw/BOOT_BL.HEX", true, false, false},
        {3, "/fw/UPD_FBU.HEX", false, true, false},  {0, "/fw/APP_FW.HEX", false, false, false},
    };
    for (const auto& c : cases) {
        dialog->setFirmwarePath(c.file);
        post(kMsgRunningType, c.running);
        EXPECT_EQ(ctl(fwdlg::kProgram)->isEnabled(), c.program) << c.running << " " << c.file;
        EXPECT_EQ(ctl(fwdlg::kPrepare)->isEnabled(), c.prepare) << c.running << " " << c.file;
        EXPECT_EQ(ctl(fwdlg::kStart)->isEnabled(), c.start) << c.running << " " << c.file;
    }
    post(kMsgRunningType, 1);
    dialog->setFirmwarePath("/fw/APP_FW.HEX");
    post(kMsgRunningType, 1);
    EXPECT_TRUE(log().contains("Download 'allowed' (iFwType=2, iDeviceFwType=1)"));
    dialog->setFirmwarePath("/fw/BOOT_BL.HEX");
    post(kMsgRunningType, 1);
    EXPECT_TRUE(log().contains("Download 'prohibited' (iFwType=1, iDeviceFwType=1)"));

    // Ctrl + middle button on "Type running:", OK: the checks are off, the icon shows, all relaxes.
    dialog->setFirmwarePath("/fw/APP_FW.HEX");
    post(kMsgRunningType, 0);
    middleClickRunningType(Qt::ControlModifier);
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(dialog->checksOff());
    EXPECT_TRUE(ctl(fwdlg::kChecksOffIcon)->isVisible());
    EXPECT_TRUE(ctl(fwdlg::kProgram)->isEnabled());
    EXPECT_TRUE(ctl(fwdlg::kPrepare)->isEnabled());
    EXPECT_FALSE(ctl(fwdlg::kStart)->isEnabled());
    // A second click (any keys) turns them on again; Cancel in the question keeps them on.
    middleClickRunningType(Qt::NoModifier);
    EXPECT_FALSE(dialog->checksOff());
    EXPECT_FALSE(ctl(fwdlg::kChecksOffIcon)->isVisible());
    answer = false;
    middleClickRunningType(Qt::ControlModifier);
    EXPECT_FALSE(dialog->checksOff());
    // Outside the field the middle button does nothing.
    answer = true;
    QTest::mouseClick(dialog->windowHandle(), Qt::MiddleButton, Qt::ControlModifier, QPoint(5, 5));
    EXPECT_FALSE(dialog->checksOff());
}

// Virtual time that holds the updater's worker once hold() is true, until release(): the window is
// then looked at while the job is surely in the middle, however fast or slow the machine is.
class HoldingClock final : public Clock {
  public:
    HoldingClock(Clock& time, std::function<bool()> hold)
        : time_(time), hold_(std::move(hold)), gui_(std::this_thread::get_id()) {}
    int64_t nowUs() override { return time_.nowUs(); }
    int64_t localWallUs() override { return time_.localWallUs(); }
    void sleepUs(int64_t us) override {
        time_.sleepUs(us);
        if (released_ || std::this_thread::get_id() == gui_ || !hold_()) return;
        held_ = true;
        const auto bound = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kHangMs);
        while (!released_ && std::chrono::steady_clock::now() < bound)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    bool held() const { return held_; }
    void release() { released_ = true; }

  private:
    Clock& time_;
    std::function<bool()> hold_;
    std::thread::id gui_;
    std::atomic<bool> held_{false}, released_{false};
};

TEST_F(FwUpdateDialogTest, ProgrammingAFirmwareEndsWithTheModuleRunningTheNewApplication) {
    searchAndSelect(0);
    dialog->chooseOpenFile = [](const QString& title, const QString&, const QString& filter) {
        EXPECT_EQ(title, "Select new firmware file");
        EXPECT_TRUE(filter.startsWith("Firmware File (*.hex)"));
        return QString::fromStdString(demoFirmware());
    };
    click(fwdlg::kBrowse);
    EXPECT_EQ(text(fwdlg::kFileType), "Application");
    // The application runs: first the boot loader.
    click(fwdlg::kPrepare);
    ASSERT_TRUE(idle());
    EXPECT_EQ(dialog->runningType(), 1);
    auto* bar = ctl<QProgressBar>(fwdlg::kProgress);
    // Held after three rows: the bar must show them while the job runs.
    const int rowsBefore = firmware(1).rowsWritten();
    HoldingClock holding(clock_, [&] { return firmware(1).rowsWritten() >= rowsBefore + 3; });
    setClock(&holding);
    struct Restore {
        HoldingClock& holding;
        Clock& time;
        ~Restore() {
            holding.release();
            setClock(&time);
        }
    } restore{holding, clock_};
    click(fwdlg::kProgram);
    EXPECT_TRUE(waitFor([&] { return holding.held() && bar->isVisible() && bar->value() >= 3; }))
        << bar->isVisible() << " " << bar->value();
    EXPECT_GT(bar->maximum(), bar->value());
    holding.release();
    ASSERT_TRUE(waitFor([&] { return !dialog->jobRunning(); }));
    ASSERT_TRUE(idle());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(ctl(fwdlg::kProgram)->isEnabled());
    EXPECT_EQ(dialog->runningType(), 2) << log().toStdString();
    EXPECT_TRUE(text(fwdlg::kAppVersion).startsWith("2.2.0.0")) << text(fwdlg::kAppVersion).toStdString();
    // The buttons end as the last decision in the log says: Prepare is allowed for the new application.
    ASSERT_TRUE(idle());
    const QString decisions = log();
    EXPECT_TRUE(decisions.lastIndexOf("Prepare 'allowed'") > decisions.lastIndexOf("Prepare 'prohibited'"));
    EXPECT_TRUE(ctl(fwdlg::kPrepare)->isEnabled());
    // Selecting the module again reads the versions it has now.
    auto* list = ctl<QComboBox>(fwdlg::kModules);
    QTest::keyClick(list, Qt::Key_Down);
    ASSERT_TRUE(idle());
    QTest::keyClick(list, Qt::Key_Up);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(text(fwdlg::kAppVersion).startsWith("2.2.0.0")) << text(fwdlg::kAppVersion).toStdString();
    EXPECT_EQ(text(fwdlg::kRunningType), "Application");
}

TEST_F(FwUpdateDialogTest, BackupWritesAFileThatLoadsBack) {
    searchAndSelect(0);
    const std::string path = tempPath("u1.bex");
    std::remove(path.c_str());
    QString proposed;
    dialog->chooseSaveFile = [&](const QString& title, const QString& name, const QString&) {
        EXPECT_EQ(title, "Save Backup as ..");
        proposed = name;
        return QString::fromStdString(path);
    };
    ASSERT_TRUE(waitFor([&] { return ctl(fwdlg::kBackup)->isEnabled(); }));
    click(fwdlg::kBackup);
    EXPECT_TRUE(QFileInfo(proposed).fileName().startsWith("000001_dsPIC30F_")) << proposed.toStdString();
    EXPECT_TRUE(proposed.endsWith(".bex"));
    ASSERT_TRUE(idle());
    RowImage rows;
    ParameterMap parameters;
    ASSERT_TRUE(loadFirmwareHex(path, 0, rows, parameters, [](const std::string&) {})) << log().toStdString();
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const MemoryRow& r) { return !r.empty; }));
    EXPECT_TRUE(ctl(fwdlg::kBackup)->isEnabled());
    EXPECT_EQ(dialog->runningType(), 2) << "the application runs again after the backup";
}

TEST_F(FwUpdateDialogTest, ClosingDuringAJobAsksStopsAndLeavesNoThread) {
    searchAndSelect(0);
    dialog->chooseSaveFile = [&](const QString&, const QString&, const QString&) {
        return QString::fromStdString(tempPath("stopped.bex"));
    };
    ASSERT_TRUE(waitFor([&] { return ctl(fwdlg::kBackup)->isEnabled(); }));
    click(fwdlg::kBackup);
    // More work behind the backup, so that a job most likely still runs while the operator closes.
    for (int i = 0; i < 3; ++i) test::clickThroughWindow(ctl(fwdlg::kSearch));
    answer = false;  // the operator keeps the job
    test::keyThroughWindow(dialog.get(), Qt::Key_Escape);
    if (questions == 1) {
        EXPECT_TRUE(dialog->isVisible());
    }
    answer = true;
    const int asked = questions;
    if (dialog->isVisible()) test::keyThroughWindow(dialog.get(), Qt::Key_Escape);
    if (questions > asked) {
        // Stopped: the dialog stays so that the log can be read, and names what the module runs.
        EXPECT_FALSE(dialog->jobRunning());
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(log().contains("Job stopped by the operator."));
        EXPECT_TRUE(log().contains("U1 now runs: ")) << log().toStdString();
        // Closing without a job leaves at once.
        test::keyThroughWindow(dialog.get(), Qt::Key_Escape);
        EXPECT_EQ(questions, asked + 1);
    }
    // (On a slow build the virtual crate may finish every job before the key arrives: then the dialog
    // simply closed, and the worker must be gone all the same.)
    EXPECT_FALSE(dialog->isVisible());
    dialog.reset();
    const auto after = ownThreads();
    EXPECT_EQ(after.size(), threadsBefore)
        << std::accumulate(after.begin(), after.end(), std::string(),
                           [](std::string a, const std::string& b) { return a + b + ","; });
}

}  // namespace
}  // namespace vz
