#include "configfile/dom_error_handler.h"

#include <xercesc/dom/DOMError.hpp>
#include <xercesc/dom/DOMLocator.hpp>

#include "base/debug_log.h"
#include "configfile/xml_text.h"

namespace vz {

bool CDOMErrorHandler::handleError(const xercesc::DOMError& error) {
    const bool warning = error.getSeverity() == xercesc::DOMError::DOM_SEVERITY_WARNING;
    if (!warning) ++errorCount;
    const xercesc::DOMLocator* where = error.getLocation();
    const std::string uri = where ? nativeText(where->getURI()) : std::string();
    const int line = where ? static_cast<int>(where->getLineNumber()) : 0;
    const int column = where ? static_cast<int>(where->getColumnNumber()) : 0;
    debugLog(warning ? kLogWarning : kLogError, "Configuration File: \"%s\" Line %d Column %d: \"%s\"\n",
             uri.c_str(), line, column, nativeText(error.getMessage()).c_str());
    return true;
}

}  // namespace vz
