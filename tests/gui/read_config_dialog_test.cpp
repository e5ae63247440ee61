#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/core/connection.h"
#include "base/settings.h"
#include "channel/channel_table.h"
#include "configfile/gui/config_file_dialogs.h"
#include "configfile/module_file_io.h"
#include "link/usb_link.h"
#include "tests/gui/control_lookup.h"
#include "tests/gui/real_input.h"
#include "tests/support/crate_fixture.h"

namespace vz {
namespace {

using test::control;

std::string deviz(int channel) {
    return R"({"channel": )" + std::to_string(channel) + R"(, "serialNumber": )" +
           std::to_string(300 + channel) +
           R"(, "firmware": {"name": "DEVIZ"}, "system": {"voltageExponent": -10, "currentExponent": -10,
              "maxUnom": "30 V", "maxInom": "10 A"}, "user": {"Unom": "1 V", "Inom": "1 A"}})";
}

class ReadConfigDialogTest : public test::CrateFixture {
  protected:
    void SetUp() override {
        CrateFixture::SetUp();
        moduleFileIo().fileName.clear();
        moduleFileIo().readOptions = ConfigReadOptions{};
        chooserCalls = 0;
        chooseConfigFile = [this](QWidget*, const QString& title, bool) {
            ++chooserCalls;
            lastTitle = title;
            return chooserAnswer;
        };
        // One file per process: CTest runs the tests of this program side by side.
        file = std::filesystem::temp_directory_path() /
               ("vz_read_dialog_" + std::to_string(getpid()) + ".pscfg");
    }
    void TearDown() override {
        std::filesystem::remove(file);
        CrateFixture::TearDown();
    }
    void connect(const std::string& pid, uint32_t flags = 0) {
        useScenario(test::oneBridgeScenario(deviz(2) + "," + deviz(3) + "," + deviz(5), "",
                                            R"("cacheChannels": 12, "canTimeoutMs": 1)", pid));
        crateSettings().fCmdLine |= flags;
        crateSettings().searchLimit = 8;
        ASSERT_TRUE(connectController(crateSettings().fCmdLine));
    }
    // A file whose U2, U3 and U5 set different nominal voltages.
    void writeFile() {
        std::ofstream out(file);
        out << R"(<?xml version="1.0"?><PsConfig><Output>)"
               R"(<U2><User unom="2.5"/></U2><U3><User unom="3.5"/></U3><U5><User unom="5.5"/></U5>)"
               R"(</Output></PsConfig>)";
    }
    double unom(int channel) {
        const QOR& q = channelState().channelTable.channels[static_cast<std::size_t>(channel)];
        return q.voltageFromRaw(q.user().Unom);
    }
    void select(ReadConfigDialog& d, std::initializer_list<int> channels) {
        // A click toggles an entry of the multi-selection list.
        auto* list = control<QListWidget>(&d, 1064);
        for (int i = 0; i < list->count(); ++i) {
            const bool wanted = std::find(channels.begin(), channels.end(), i) != channels.end();
            if (list->item(i)->isSelected() == wanted) continue;
            list->scrollToItem(list->item(i));
            test::clickThroughWindow(list->viewport(), Qt::LeftButton,
                                     list->visualItemRect(list->item(i)).center());
        }
        for (int i = 0; i < list->count(); ++i)
            ASSERT_EQ(list->item(i)->isSelected(),
                      std::find(channels.begin(), channels.end(), i) != channels.end());
    }

    int chooserCalls = 0;
    QString lastTitle;
    QString chooserAnswer;
    std::filesystem::path file;
};

TEST_F(ReadConfigDialogTest, ControlsByControllerAndOptions) {
    connect("0012");
    ReadConfigDialog d(nullptr);
    EXPECT_EQ(d.windowTitle(), "[SN SN1] Read Power Supply Data from File");
    EXPECT_EQ(control<QComboBox>(&d, 1120)->count(), 17);  // MATCHING, 0..15
    EXPECT_EQ(control<QComboBox>(&d, 1120)->itemText(0), "MATCHING");
    EXPECT_FALSE(control<QCheckBox>(&d, 1095)->isEnabled());
    EXPECT_FALSE(control<QCheckBox>(&d, 1096)->isEnabled());
    EXPECT_TRUE(control<QCheckBox>(&d, 1118)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(&d, 1122)->isHidden());
    EXPECT_TRUE(control<QCheckBox>(&d, 1121)->isHidden());
    // Present configurable channels are preselected.
    auto* list = control<QListWidget>(&d, 1064);
    ASSERT_EQ(list->count(), 127);
    EXPECT_TRUE(list->item(2)->isSelected());
    EXPECT_TRUE(list->item(5)->isSelected());
    EXPECT_FALSE(list->item(4)->isSelected());

    crateSettings().fCmdLine |= kExpertView;
    ReadConfigDialog expert(nullptr);
    EXPECT_TRUE(control<QCheckBox>(&expert, 1095)->isEnabled());
    EXPECT_TRUE(control<QCheckBox>(&expert, 1096)->isEnabled());
    EXPECT_TRUE(control<QCheckBox>(&expert, 1121)->isEnabled());
}

TEST_F(ReadConfigDialogTest, TwelveChannelControllerOffersTwelveFileChannels) {
    connect("0011", kFileReadOptionsWdx);
    ReadConfigDialog d(nullptr);
    EXPECT_EQ(control<QComboBox>(&d, 1120)->count(), 13);
    EXPECT_EQ(control<QComboBox>(&d, 1120)->itemText(12), "11");
    EXPECT_EQ(control<QListWidget>(&d, 1064)->count(), 12);
}

TEST_F(ReadConfigDialogTest, OkWithoutAFileAsksForOneAndStaysOpenWhenCancelled) {
    connect("0012");
    ReadConfigDialog d(nullptr);
    d.show();
    test::clickThroughWindow(control<QPushButton>(&d, 1));
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(lastTitle, "Select Configuration Data File");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), 0);
}

TEST_F(ReadConfigDialogTest, MatchingTakesEachChannelsOwnElement) {
    connect("0012");
    writeFile();
    chooserAnswer = QString::fromStdString(file.string());
    ReadConfigDialog d(nullptr);
    d.show();
    select(d, {2, 5});
    test::clickThroughWindow(control<QPushButton>(&d, 1));
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(unom(2), 2.5);
    EXPECT_DOUBLE_EQ(unom(3), 1.0);  // not selected
    EXPECT_DOUBLE_EQ(unom(5), 5.5);
}

TEST_F(ReadConfigDialogTest, AFileChannelGoesToEverySelectedChannel) {
    connect("0012");
    writeFile();
    moduleFileIo().fileName = file.string();
    ReadConfigDialog d(nullptr);
    d.show();
    select(d, {2, 5});
    auto* fileChannel = control<QComboBox>(&d, 1120);
    fileChannel->setFocus();
    while (fileChannel->currentIndex() < 4)
        test::keyThroughWindow(fileChannel, Qt::Key_Down);  // file channel "3"
    test::clickThroughWindow(control<QPushButton>(&d, 1));
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_DOUBLE_EQ(unom(2), 3.5);
    EXPECT_DOUBLE_EQ(unom(5), 3.5);
    EXPECT_EQ(moduleFileIo().readOptions.fileChannel, 4);  // kept for the next use
}

TEST_F(ReadConfigDialogTest, AFileThatDoesNotParseKeepsTheDialogOpen) {
    connect("0012");
    { std::ofstream(file) << "<PsConfig><Output>"; }
    moduleFileIo().fileName = file.string();
    ReadConfigDialog d(nullptr);
    d.show();
    test::clickThroughWindow(control<QPushButton>(&d, 1));
    EXPECT_TRUE(d.isVisible());
    ASSERT_FALSE(seam.boxes.empty());
    EXPECT_EQ(seam.boxes.back().text, "Error in configuration file \"" + file.string() + "\"");
    EXPECT_DOUBLE_EQ(unom(2), 1.0);
}

TEST_F(ReadConfigDialogTest, SaveCommandWritesThePresentChannels) {
    connect("0012");
    chooserAnswer = QString::fromStdString(file.string());
    saveConfigurationCommand(nullptr);
    EXPECT_EQ(lastTitle, "[SN SN1] Save Configuration Data to File");
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("<U2 "), std::string::npos);
    EXPECT_NE(text.find("<U5 "), std::string::npos);
    EXPECT_EQ(text.find("<U4"), std::string::npos);
}

}  // namespace
}  // namespace vz
