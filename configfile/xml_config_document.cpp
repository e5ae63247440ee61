#include "configfile/xml_config_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "base/debug_log.h"
#include "base/file_replacement.h"
#include "configfile/xml_element_paths.h"
#include "configfile/xml_markup_check.h"
#include "configfile/xml_text.h"

namespace vz {
namespace {

using namespace xercesc;

enum class FileRead { ok, missing, unreadable };

// The whole file, read without waiting on anything that is not a regular file (a FIFO would block
// the open until someone writes to it). A file larger than any configuration file is read only up to
// one byte past the limit, which the markup check then refuses.
FileRead readConfigFile(const char* path, std::string& bytes, std::string& why) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return errno == ENOENT ? FileRead::missing : FileRead::unreadable;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file";
        ::close(fd);
        return FileRead::unreadable;
    }
    bytes.clear();
    char buffer[65536];
    while (bytes.size() <= kMaxConfigFileBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return FileRead::unreadable;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return FileRead::ok;
}

std::string absolutePath(const char* path) {
    std::error_code ignored;
    const auto absolute = std::filesystem::absolute(path, ignored);
    return absolute.empty() ? std::string(path) : absolute.string();
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
    guards_ = std::make_unique<XmlParserGuards>();
    guardParser(*builder_, *guards_);
    errorHandler_ = std::make_unique<CDOMErrorHandler>();
    config->setParameter(XMLUni::fgDOMErrorHandler, static_cast<DOMErrorHandler*>(errorHandler_.get()));
    document_ = nullptr;

    if (!path) {
        debugLog(kLogDebug, "Configuration File: New document with root element \"%s\"",
                 rootElementName.c_str());
        return createEmptyDocument();
    }
    std::string bytes;
    std::string why;
    switch (readConfigFile(path, bytes, why)) {
        case FileRead::missing:
            debugLog(kLogWarning, "Configuration File: File '%s' does not exist", path);
            return createEmptyDocument();
        case FileRead::unreadable:
            debugLog(kLogError, "Configuration File: Cannot read '%s': %s", path, why.c_str());
            return false;
        case FileRead::ok:
            break;
    }

    debugLog(kLogInfo, "Configuration File: Parsing File '%s'", path);
    // Errors name the file as the parser would for a file it opened itself.
    const std::string where = absolutePath(path);
    if (const auto refusal = checkConfigurationMarkup(bytes)) {
        debugLog(kLogError, "Configuration File: \"%s\" Line %d: refused: %s", where.c_str(), refusal->line,
                 refusal->what.c_str());
        return false;
    }
    try {
        builder_->resetDocumentPool();
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), where.c_str());
        Wrapper4InputSource input(&source, false);
        document_ = builder_->parse(&input);
        return errorHandler_->errorCount == 0 && document_ != nullptr;
    } catch (const XMLException& e) {
        debugLog(kLogError, "Configuration File: Error during parsing: '%s'", path);
        debugLog(kLogError, "Configuration File: Exception message is: %s",
                 nativeText(e.getMessage()).c_str());
    } catch (const DOMException& e) {
        debugLog(kLogError, "Configuration File: Error during parsing: '%s'", path);
        if (guards_->filter.exceeded()) {
            debugLog(kLogError,
                     "Configuration File: \"%s\": refused: elements nested more than %d levels deep or more "
                     "than %d elements",
                     where.c_str(), kMaxElementDepth, kMaxElements);
            return false;
        }
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
    guards_.reset();
    errorHandler_.reset();
    implementation_ = nullptr;
    if (platformUp_) {
        XMLPlatformUtils::Terminate();
        platformUp_ = false;
    }
}

}  // namespace vz
