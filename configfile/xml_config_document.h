#pragma once
// The one XML document the configuration file commands work on: opened (parsed or created), looked
// into by dotted element paths, saved and closed again, once per use.
#include <memory>
#include <optional>
#include <string>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMLSParser.hpp>

#include "configfile/dom_error_handler.h"
#include "configfile/xml_parser_guards.h"

namespace vz {

class XmlConfigDocument {
  public:
    XmlConfigDocument() = default;
    ~XmlConfigDocument();
    XmlConfigDocument(const XmlConfigDocument&) = delete;
    XmlConfigDocument& operator=(const XmlConfigDocument&) = delete;

    // Parses the file, or creates a document with an empty root when path is nullptr or names no
    // file. False when the file cannot be read, when its markup is refused (a document type
    // declaration, too deep, too large; see xml_markup_check.h), when the parser reported errors
    // (the document is held all the same) or could not run. Nothing beyond the file is ever loaded.
    // Closes what an earlier open left.
    bool open(const char* path);
    // Writes the held document to the path stored by open, or to path when none is stored. The old
    // file stays intact when writing fails; the reason is in saveError().
    bool save(const char* path);
    // Releases the document and the parser and ends the use of the parser platform.
    void close();

    bool isOpen() const { return platformUp_; }
    xercesc::DOMDocument* document() const { return document_; }
    xercesc::DOMElement* root() const;
    xercesc::DOMElement* findPath(const char* path) const;
    xercesc::DOMElement* getOrCreatePath(const char* path);
    const std::optional<std::string>& filePath() const { return filePath_; }
    const std::string& saveError() const { return saveError_; }

    std::string rootElementName = "PsConfig";  // root of a newly created document

  private:
    struct Releaser {
        template <typename T>
        void operator()(T* object) const {
            object->release();
        }
    };

    bool createEmptyDocument();

    bool platformUp_ = false;
    xercesc::DOMImplementation* implementation_ = nullptr;
    std::unique_ptr<XmlParserGuards> guards_;  // used by the builder
    std::unique_ptr<xercesc::DOMLSParser, Releaser> builder_;
    std::unique_ptr<CDOMErrorHandler> errorHandler_;
    std::unique_ptr<xercesc::DOMDocument, Releaser> createdDocument_;  // parsed ones belong to the builder
    xercesc::DOMDocument* document_ = nullptr;
    std::optional<std::string> filePath_;
    std::string saveError_;
};

}  // namespace vz
