#pragma once
// The parser's error handler: every problem of a file goes to the debug log, errors are counted,
// and parsing goes on so that one run reports all of them.
#include <xercesc/dom/DOMErrorHandler.hpp>

namespace vz {

class CDOMErrorHandler : public xercesc::DOMErrorHandler {
  public:
    ~CDOMErrorHandler() override = default;
    bool handleError(const xercesc::DOMError& error) override;

    int errorCount = 0;  // errors and fatal errors; warnings are logged only
};

}  // namespace vz
