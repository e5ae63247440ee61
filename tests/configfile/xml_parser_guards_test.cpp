// The parser's own guards, without the markup check in front: should a file ever slip past that
// check, the parser still loads nothing beyond its input and stops on deep nesting and entity bombs.
#include "configfile/xml_parser_guards.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "base/debug_log.h"
#include "configfile/dom_error_handler.h"
#include "configfile/xml_attributes.h"
#include "configfile/xml_text.h"
#include "temp_folder.h"
#include "tests/support/cpu_seconds.h"

namespace vz::test {
namespace {

using namespace xercesc;

class XmlParserGuardsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        XMLPlatformUtils::Initialize();
        const XmlText features("LS");
        DOMImplementation* implementation = DOMImplementationRegistry::getDOMImplementation(features.get());
        parser_ = implementation->createLSParser(DOMImplementationLS::MODE_SYNCHRONOUS, nullptr);
        parser_->getDomConfig()->setParameter(XMLUni::fgDOMErrorHandler,
                                              static_cast<DOMErrorHandler*>(&errors_));
        guardParser(*parser_, guards_);
        setDebugLogOutput([](std::string_view) {});
    }
    void TearDown() override {
        parser_->release();
        XMLPlatformUtils::Terminate();
        setDebugLogOutput({});
    }

    // The document, or null when the parse was stopped.
    DOMDocument* parse(const std::string& xml) {
        guards_.filter.reset();
        errors_.errorCount = 0;
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "test");
        Wrapper4InputSource input(&source, false);
        try {
            return parser_->parse(&input);
        } catch (const DOMException&) {
            return nullptr;
        }
    }

    TempFolder folder;
    XmlParserGuards guards_;
    CDOMErrorHandler errors_;
    DOMLSParser* parser_ = nullptr;
};

TEST_F(XmlParserGuardsTest, TheParserItselfLoadsNothingAndStopsOnNestingAndEntityBombs) {
    writeText(folder.file("ext.dtd"), "<!ATTLIST U0 firmwareVersion CDATA \"from the DTD\">\n");
    std::string laughs = "<!DOCTYPE R [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b', previous = 'a'; c <= 'j'; previous = c++) {
        laughs += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i) laughs += std::string("&") + previous + ";";
        laughs += "\">";
    }
    laughs += "]><R><U0 firmwareVersion=\"&j;\"/></R>";
    std::string deep = "<R>";
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    const std::string cases[] = {
        "<!DOCTYPE R SYSTEM \"file://" + folder.file("ext.dtd") + "\"><R><U0/></R>",
        laughs,
        deep,
    };
    for (const std::string& xml : cases) {
        const double start = threadCpuSeconds();
        DOMDocument* document = parse(xml);
        const double seconds = threadCpuSeconds() - start;
        EXPECT_TRUE(document == nullptr || errors_.errorCount > 0) << xml.substr(0, 60);
        const DOMElement* u0 = document && document->getDocumentElement()
                                   ? document->getDocumentElement()->getFirstElementChild()
                                   : nullptr;
        EXPECT_FALSE(u0 && getAttributeText(u0, "firmwareVersion")) << xml.substr(0, 60);
        EXPECT_LT(seconds, 10.0) << xml.substr(0, 60);  // CPU time: a guard that failed would run away or exhaust memory
    }
    EXPECT_TRUE(guards_.filter.exceeded());  // the last case
    EXPECT_TRUE(parse("<R><a><b/></a></R>") != nullptr && errors_.errorCount == 0);
}

}  // namespace
}  // namespace vz::test
