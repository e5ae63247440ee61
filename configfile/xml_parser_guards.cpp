#include "configfile/xml_parser_guards.h"

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "base/debug_log.h"
#include "configfile/xml_markup_check.h"
#include "configfile/xml_text.h"

namespace vz {

using namespace xercesc;

DOMLSInput* RefusingResourceResolver::resolveResource(const XMLCh*, const XMLCh*, const XMLCh*,
                                                      const XMLCh* systemId, const XMLCh*) {
    debugLog(kLogError, "Configuration File: external resource \"%s\" refused", nativeText(systemId).c_str());
    return nullptr;
}

DOMLSParserFilter::FilterAction NestingLimitFilter::startElement(DOMElement*) {
    if (++depth_ > kMaxElementDepth || ++elements_ > kMaxElements) {
        exceeded_ = true;
        return FILTER_INTERRUPT;
    }
    return FILTER_ACCEPT;
}

DOMLSParserFilter::FilterAction NestingLimitFilter::acceptNode(DOMNode*) {
    --depth_;  // elements only, at their end
    return FILTER_ACCEPT;
}

DOMNodeFilter::ShowType NestingLimitFilter::getWhatToShow() const {
    return DOMNodeFilter::SHOW_ELEMENT;
}

void guardParser(DOMLSParser& parser, XmlParserGuards& guards) {
    DOMConfiguration* config = parser.getDomConfig();
    config->setParameter(XMLUni::fgDOMDisallowDoctype, true);
    config->setParameter(XMLUni::fgXercesLoadExternalDTD, false);
    config->setParameter(XMLUni::fgXercesDisableDefaultEntityResolution, true);
    config->setParameter(XMLUni::fgXercesSchema, false);
    config->setParameter(XMLUni::fgXercesLoadSchema, false);
    config->setParameter(XMLUni::fgXercesDoXInclude, false);
    config->setParameter(XMLUni::fgDOMResourceResolver,
                         static_cast<DOMLSResourceResolver*>(&guards.resolver));
    guards.filter.reset();
    parser.setFilter(&guards.filter);
}

}  // namespace vz
