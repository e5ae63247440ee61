#pragma once
// What keeps the XML parser inside the configuration file it was given, whatever the file says:
// no document type declaration, no external DTD, entity or schema, no network, and a bound on
// nesting and element count. The markup check refuses such files first with a clear message; these
// guards hold for what that check cannot see.
#include <xercesc/dom/DOMLSParser.hpp>
#include <xercesc/dom/DOMLSParserFilter.hpp>
#include <xercesc/dom/DOMLSResourceResolver.hpp>

namespace vz {

// Answers every request for an external resource with nothing, which the parser then reports as an
// error of the file; the request is logged.
class RefusingResourceResolver : public xercesc::DOMLSResourceResolver {
  public:
    xercesc::DOMLSInput* resolveResource(const XMLCh* resourceType, const XMLCh* namespaceUri,
                                         const XMLCh* publicId, const XMLCh* systemId,
                                         const XMLCh* baseUri) override;
};

// Stops the parse when elements nest too deep or are too many.
class NestingLimitFilter : public xercesc::DOMLSParserFilter {
  public:
    FilterAction startElement(xercesc::DOMElement* element) override;
    FilterAction acceptNode(xercesc::DOMNode* node) override;
    xercesc::DOMNodeFilter::ShowType getWhatToShow() const override;

    void reset() { depth_ = elements_ = 0, exceeded_ = false; }
    bool exceeded() const { return exceeded_; }

  private:
    int depth_ = 0;
    int elements_ = 0;
    bool exceeded_ = false;
};

struct XmlParserGuards {
    RefusingResourceResolver resolver;
    NestingLimitFilter filter;
};

// Sets the parser's features so that it loads nothing but its input, and installs the guards
// (which must outlive the parser's use).
void guardParser(xercesc::DOMLSParser& parser, XmlParserGuards& guards);

}  // namespace vz
