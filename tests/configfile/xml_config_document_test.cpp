#include "configfile/xml_config_document.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/debug_log.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_element_paths.h"
#include "configfile/xml_text.h"
#include "temp_folder.h"

namespace vz::test {
namespace {

class XmlDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setDebugLogOutput([this](std::string_view line) { log.emplace_back(line); });
    }
    void TearDown() override {
        document.close();
        setDebugLogOutput({});
    }
    // Opens a document parsed from text.
    void openText(const std::string& xml) {
        writeText(folder.file("in.xml"), xml);
        ASSERT_TRUE(document.open(folder.file("in.xml").c_str()));
    }
    // The log lines of one level that contain text.
    int logged(char level, const std::string& text) const {
        int n = 0;
        for (const auto& l : log) n += (l[0] == level && l.find(text) != std::string::npos) ? 1 : 0;
        return n;
    }
    static std::string attribute(const xercesc::DOMElement* e, const char* name) {
        return getAttributeText(e, name).value_or("");
    }

    TempFolder folder;
    XmlConfigDocument document;
    std::vector<std::string> log;
};

struct PathCase {
    const char* xml;
    const char* path;
    const char* foundId;  // "" when nothing may be found
};

TEST_F(XmlDocumentTest, ElementPathsMatchInnerComponentsAsPrefixesAndTheLastOneExactly) {
    const PathCase cases[] = {
        {"<Any><Output><U5 id='a'/></Output></Any>", "Output.U5", "a"},
        {"<Any><OutputX><U5 id='b'/></OutputX></Any>", "Output.U5", "b"},
        {"<Any><Output><U50 id='c'/></Output></Any>", "Output.U5", ""},
        {"<Any><Output><U50 id='c'/><U5 id='d'/></Output></Any>", "Output.U5", "d"},
        {"<Any><OutputX id='e'/></Any>", "Output", ""},
        {"<Any><Out><U5 id='f'/></Out><Output><U5 id='g'/></Output></Any>", "Output.U5", "g"},
        {"<Any><Output><U5><Calibration id='h'/></U5></Output></Any>", "Output.U5.Calibration", "h"},
    };
    for (const PathCase& c : cases) {
        openText(c.xml);
        const xercesc::DOMElement* found = document.findPath(c.path);
        EXPECT_EQ(found ? attribute(found, "id") : "", c.foundId) << c.xml << " " << c.path;
        EXPECT_EQ(found != nullptr, *c.foundId != '\0') << c.xml << " " << c.path;
    }
}

TEST_F(XmlDocumentTest, GetOrCreatePathCreatesEachElementOnce) {
    ASSERT_TRUE(document.open(nullptr));
    xercesc::DOMElement* first = document.getOrCreatePath("Output.U3");
    xercesc::DOMElement* second = document.getOrCreatePath("Output.U3");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(nativeText(first->getTagName()), "U3");
    EXPECT_EQ(nativeText(first->getParentNode()->getNodeName()), "Output");
    EXPECT_EQ(document.root()->getChildElementCount(), 1u);
    EXPECT_EQ(document.findPath("Output.U3"), first);
}

TEST_F(XmlDocumentTest, IntegerAndDoubleAttributesParseLikeScanf) {
    openText(
        "<R><E hex='0x10' oct='010' neg='-7' blank=' 42' all='0xFFFFFFFF' bad='abc' huge='99999999999'"
        " d='1e-5' dbad='volts'/></R>");
    const xercesc::DOMElement* e = document.findPath("E");
    ASSERT_NE(e, nullptr);
    const struct {
        const char* name;
        bool ok;
        int value;
    } ints[] = {{"hex", true, 16}, {"oct", true, 8},   {"neg", true, -7},   {"blank", true, 42},
                {"all", true, -1}, {"bad", false, 99}, {"huge", false, 99}, {"missing", false, 99}};
    for (const auto& c : ints) {
        int value = 99;
        EXPECT_EQ(getIntAttribute(e, c.name, value), c.ok) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
    double d = 0;
    EXPECT_TRUE(getDoubleAttribute(e, "d", d));
    EXPECT_EQ(d, 1e-5);
    EXPECT_FALSE(getDoubleAttribute(e, "dbad", d));
    EXPECT_EQ(d, 1e-5);
    EXPECT_EQ(logged('W', "Configuration File: Branch \"E\" Attribut \"bad\": bad integer value"), 1);
    EXPECT_EQ(logged('W', "Attribut \"huge\": bad integer value"), 1);
    EXPECT_EQ(logged('W', "Configuration File: Branch \"E\" Attribut \"dbad\": bad double value"), 1);
    EXPECT_EQ(logged('W', "\"missing\""), 0);
}

TEST_F(XmlDocumentTest, DoublesAreWrittenWithTwentyDigitsAndReadBackUnchanged) {
    EXPECT_EQ(formatDouble(0.1), "0.10000000000000000555");
    const std::string small = formatDouble(1e-5);
    EXPECT_EQ(small.rfind("1.0000000000000000818E-", 0), 0u) << small;
    EXPECT_EQ(std::strtod(small.c_str(), nullptr), 1e-5);

    ASSERT_TRUE(document.open(nullptr));
    xercesc::DOMElement* e = document.getOrCreatePath("E");
    for (double v : {0.1, 1e-5, 1.0 / 3, -3.0517578125e-05, 63.998046875}) {
        setDoubleAttribute(e, "v", v);
        double back = 0;
        ASSERT_TRUE(getDoubleAttribute(e, "v", back));
        EXPECT_EQ(back, v);
    }
}

TEST_F(XmlDocumentTest, AMissingFileGivesAnEmptyPsConfigRoot) {
    ASSERT_TRUE(document.open(folder.file("none.pscfg").c_str()));
    ASSERT_NE(document.root(), nullptr);
    EXPECT_EQ(nativeText(document.root()->getTagName()), "PsConfig");
    EXPECT_FALSE(document.root()->hasChildNodes());
    EXPECT_EQ(logged('W', "Configuration File: File '" + folder.file("none.pscfg") + "' does not exist"), 1);
}

// The log says what is true of the path: a new document is no missing file, and a path that exists
// but cannot be read as a file is an error rather than an empty document (which would apply nothing
// and look like success). Nothing here may wait, not even for a FIFO without a writer.
TEST_F(XmlDocumentTest, OpenSaysWhatIsTrueOfThePath) {
    std::filesystem::create_directory(folder.file("folder.pscfg"));
    ASSERT_EQ(mkfifo(folder.file("fifo.pscfg").c_str(), 0600), 0);
    const struct {
        std::string path;  // empty: no path, a new document
        bool opened;
        char level;
        std::string text;
    } cases[] = {
        {"", true, 'D', "Configuration File: New document with root element \"PsConfig\""},
        {folder.file("folder.pscfg"), false, 'E',
         "Cannot read '" + folder.file("folder.pscfg") + "': it is a directory"},
        {folder.file("fifo.pscfg"), false, 'E',
         "Cannot read '" + folder.file("fifo.pscfg") + "': it is not a regular file"},
    };
    for (const auto& c : cases) {
        log.clear();
        EXPECT_EQ(document.open(c.path.empty() ? nullptr : c.path.c_str()), c.opened) << c.path;
        EXPECT_EQ(logged(c.level, c.text), 1) << c.path;
        EXPECT_EQ(logged('W', "does not exist"), 0) << c.path;
        for (const auto& line : log) EXPECT_EQ(line.find("(null)"), std::string::npos) << line;
    }
}

TEST_F(XmlDocumentTest, AnUnclosedElementFailsWithLineAndColumnLogged) {
    writeText(folder.file("bad.pscfg"), "<PsConfig>\n  <Output>\n</PsConfig>\n");
    EXPECT_FALSE(document.open(folder.file("bad.pscfg").c_str()));
    EXPECT_EQ(logged('I', "Configuration File: Parsing File '" + folder.file("bad.pscfg") + "'"), 1);
    EXPECT_GE(logged('E', "bad.pscfg\" Line 3 Column 3: \""), 1);
}

TEST_F(XmlDocumentTest, ASavedDocumentParsesAgainAndPassesXmllint) {
    ASSERT_TRUE(document.open(nullptr));
    setAttributeText(document.getOrCreatePath("Output.U0"), "firmwareVersion", "DEVIZ <5V> & \"x\"");
    const std::string path = folder.file("saved.pscfg");
    ASSERT_TRUE(document.save(path.c_str()));
    ASSERT_TRUE(document.open(path.c_str()));
    EXPECT_EQ(attribute(document.findPath("Output.U0"), "firmwareVersion"), "DEVIZ <5V> & \"x\"");
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0);
}

// A write that fails midway (here: the file size limit) must leave the old file as it was.
TEST_F(XmlDocumentTest, AFailedSaveKeepsTheOldFileAndReportsIt) {
    const std::string path = folder.file("old.pscfg");
    writeText(path, "<PsConfig/>\n");
    ASSERT_TRUE(document.open(nullptr));
    for (int i = 0; i < 200; ++i)
        setAttributeText(document.getOrCreatePath(("Output.U" + std::to_string(i)).c_str()),
                         "firmwareVersion", "DEVIZ 5V20A 2.1.0.7");

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = document.save(path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(ok);
    EXPECT_NE(document.saveError().find("cannot write"), std::string::npos) << document.saveError();
    EXPECT_EQ(readText(path), "<PsConfig/>\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) ++files;
    EXPECT_EQ(files, 1) << "the temporary file was left behind";
    EXPECT_EQ(logged('E', "Configuration File: cannot save"), 1);

    // Into a folder that does not exist nothing can be written either.
    XmlConfigDocument other;
    ASSERT_TRUE(other.open(nullptr));
    EXPECT_FALSE(other.save(folder.file("no/such/folder.pscfg").c_str()));
}

}  // namespace
}  // namespace vz::test
