#include "configfile/xml_config_document.h"

#include <sys/stat.h>

#include <cstdio>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "app/core/debug_log.h"
#include "configfile/file_replacement.h"
#include "configfile/xml_element_paths.h"
#include "configfile/xml_text.h"

namespace vz {
namespace {

using namespace xercesc;

bool isReadableFile(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) return false;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace

XmlConfigDocument::~XmlConfigDocument() {
    close();
}

DOMElement* XmlConfigDocument::root() const {
    return document_ ? document_->getDocumentElement() : nullptr;
}

DOMElement* XmlConfigDocument::findPath(const char* path) const {
    return findChild(root(), path);
}

DOMElement* XmlConfigDocument::getOrCreatePath(const char* path) {
    return getOrCreateChild(root(), path);
}

bool XmlConfigDocument::createEmptyDocument() {
    try {
        const XmlText rootName(rootElementName.c_str());
        createdDocument_.reset(implementation_->createDocument(nullptr, rootName.get(), nullptr));
        document_ = createdDocument_.get();
        return true;
    } catch (const DOMException& e) {
        debugLog(kLogError, "Configuration File: DOMException code is: 0x%X", static_cast<unsigned>(e.code));
        return false;
    }
}

bool XmlConfigDocument::open(const char* path) {
    close();
    filePath_ = path ? std::optional<std::string>(path) : std::nullopt;
    try {
        XMLPlatformUtils::Initialize("en_US");
    } catch (const XMLException& e) {
        debugLog(kLogError, "Configuration File: \"%s\"\n", nativeText(e.getMessage()).c_str());
        return false;
    }
    platformUp_ = true;

    const XmlText features("LS");
    implementation_ = DOMImplementationRegistry::getDOMImplementation(features.get());
    if (!implementation_) {
        debugLog(kLogError, "Configuration File: no DOM implementation for \"LS\"");
        return false;
    }
    builder_.reset(implementation_->createLSParser(DOMImplementationLS::MODE_SYNCHRONOUS, nullptr));
    DOMConfiguration* config = builder_->getDomConfig();
    config->setParameter(XMLUni::fgDOMValidateIfSchema, true);
    config->setParameter(XMLUni::fgDOMDatatypeNormalization, true);
    errorHandler_ = std::make_unique<CDOMErrorHandler>();
    config->setParameter(XMLUni::fgDOMErrorHandler, static_cast<DOMErrorHandler*>(errorHandler_.get()));
    document_ = nullptr;

    if (!path || !isReadableFile(path)) {
        debugLog(kLogWarning, "Configuration File: File '%s' does not exist", path ? path : "(null)");
        return createEmptyDocument();
    }

    debugLog(kLogInfo, "Configuration File: Parsing File '%s'", path);
    try {
        builder_->resetDocumentPool();
        // Through an input source rather than a URI, so that any local file name is taken as it is.
        const XmlText xmlPath(path);
        LocalFileInputSource source(xmlPath.get());
        Wrapper4InputSource input(&source, false);
        document_ = builder_->parse(&input);
        return errorHandler_->errorCount == 0 && document_ != nullptr;
    } catch (const XMLException& e) {
        debugLog(kLogError, "Configuration File: Error during parsing: '%s'", path);
        debugLog(kLogError, "Configuration File: Exception message is: %s",
                 nativeText(e.getMessage()).c_str());
    } catch (const DOMException& e) {
        debugLog(kLogError, "Configuration File: Error during parsing: '%s'", path);
        debugLog(kLogError, "Configuration File: DOMException code is: 0x%X", static_cast<unsigned>(e.code));
        XMLCh message[2048];
        if (DOMImplementation::loadDOMExceptionMsg(e.code, message, 2047))
            debugLog(kLogError, "Configuration File: Message is: %s", nativeText(message).c_str());
    } catch (...) {
        debugLog(kLogError, "Configuration File: Unexpected exception during parsing: '%s'", path);
    }
    return false;
}

bool XmlConfigDocument::save(const char* path) {
    saveError_.clear();
    if (!filePath_ && path) filePath_ = path;
    if (!document_ || !implementation_ || !filePath_) {
        saveError_ = "no document or no file name";
        debugLog(kLogError, "Configuration File: cannot save: %s", saveError_.c_str());
        return false;
    }
    // Serialised into memory first: the file is replaced only by a complete document.
    MemBufFormatTarget target;
    try {
        std::unique_ptr<DOMLSSerializer, Releaser> writer(implementation_->createLSSerializer());
        writer->getDomConfig()->setParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true);
        std::unique_ptr<DOMLSOutput, Releaser> output(implementation_->createLSOutput());
        output->setByteStream(&target);
        if (!writer->write(document_, output.get())) saveError_ = "the serializer refused the document";
    } catch (const XMLException& e) {
        saveError_ = nativeText(e.getMessage());
    } catch (const DOMException& e) {
        saveError_ = "DOM exception " + std::to_string(e.code);
    } catch (...) {
        saveError_ = "unexpected exception while writing the document";
    }
    if (saveError_.empty())
        replaceFileContents(*filePath_, target.getRawBuffer(), target.getLen(), saveError_);
    if (saveError_.empty()) return true;
    debugLog(kLogError, "Configuration File: cannot save '%s': %s", filePath_->c_str(), saveError_.c_str());
    return false;
}

void XmlConfigDocument::close() {
    document_ = nullptr;
    createdDocument_.reset();
    builder_.reset();
    errorHandler_.reset();
    implementation_ = nullptr;
    if (platformUp_) {
        XMLPlatformUtils::Terminate();
        platformUp_ = false;
    }
}

}  // namespace vz
