#include "configfile/xml_attributes.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <xercesc/dom/DOMAttr.hpp>

#include "base/debug_log.h"
#include "configfile/xml_text.h"

namespace vz {
namespace {

void logBadValue(const xercesc::DOMElement* element, const char* name, const char* kind) {
    debugLog(kLogWarning, "Configuration File: Branch \"%s\" Attribut \"%s\": bad %s value",
             nativeText(element->getTagName()).c_str(), name, kind);
}

bool parseInteger(const std::string& text, int& out) {
    const char* start = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*start))) ++start;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(start, &end, 0);
    if (end == start || errno == ERANGE || value < INT_MIN || value > static_cast<long long>(UINT_MAX))
        return false;
    out = static_cast<int>(static_cast<int64_t>(value) & 0xFFFFFFFF);
    return true;
}

// NaN and the infinities are not values a module can hold: converted to raw they would become 0 or
// a limit nobody wrote. They count as bad values, as does a number beyond the range of a double.
bool parseDouble(const std::string& text, double& out) {
    const char* start = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value)) return false;
    out = value;
    return true;
}

// The characters XML 1.0 can hold: tab, line feed, carriage return, everything from the space up
// except the two non-characters, and surrogates only in pairs.
int replaceWhatXmlCannotHold(std::u16string& text) {
    int replaced = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        bool held = c >= 0x20 || c == 0x09 || c == 0x0A || c == 0x0D;
        if (c == 0xFFFE || c == 0xFFFF) held = false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            held = i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            if (held) ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            held = false;
        }
        if (!held) {
            text[i] = u'?';
            ++replaced;
        }
    }
    return replaced;
}

}  // namespace

std::optional<std::string> getAttributeText(const xercesc::DOMElement* element, const char* name) {
    if (!element || !element->hasAttributes()) return std::nullopt;
    const XmlText xmlName(name);
    const xercesc::DOMAttr* attribute = element->getAttributeNode(xmlName.get());
    if (!attribute) return std::nullopt;
    return nativeText(attribute->getValue());
}

bool getIntAttribute(const xercesc::DOMElement* element, const char* name, int& out) {
    const auto text = getAttributeText(element, name);
    if (!text) return false;
    int value = 0;
    if (!parseInteger(*text, value)) {
        logBadValue(element, name, "integer");
        return false;
    }
    out = value;
    return true;
}

bool getDoubleAttribute(const xercesc::DOMElement* element, const char* name, double& out) {
    const auto text = getAttributeText(element, name);
    if (!text) return false;
    double value = 0;
    if (!parseDouble(*text, value)) {
        logBadValue(element, name, "double");
        return false;
    }
    out = value;
    return true;
}

void setAttributeText(xercesc::DOMElement* element, const char* name, const char* text) {
    const XmlText xmlName(name);
    const XmlText xmlValue(text);
    // Module texts (a firmware name) may hold control characters; one of them must not make the
    // whole document unsaveable.
    std::u16string value = xmlValue.get() ? std::u16string(xmlValue.get()) : std::u16string();
    if (const int replaced = replaceWhatXmlCannotHold(value))
        debugLog(kLogWarning,
                 "Configuration File: Branch \"%s\" Attribut \"%s\": %d character%s that XML cannot hold "
                 "written as '?'",
                 nativeText(element->getTagName()).c_str(), name, replaced, replaced == 1 ? "" : "s");
    element->setAttribute(xmlName.get(), value.c_str());
}

void setIntAttribute(xercesc::DOMElement* element, const char* name, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    setAttributeText(element, name, text);
}

void setUIntAttribute(xercesc::DOMElement* element, const char* name, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    setAttributeText(element, name, text);
}

std::string formatDouble(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.20G", value);
    return text;
}

void setDoubleAttribute(xercesc::DOMElement* element, const char* name, double value) {
    setAttributeText(element, name, formatDouble(value).c_str());
}

}  // namespace vz
