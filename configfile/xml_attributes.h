#pragma once
// Typed attributes with fixed number formats. A value that does not parse is logged and counts as
// absent, so one bad attribute never stops the reading of a file.
#include <optional>
#include <string>
#include <xercesc/dom/DOMElement.hpp>

namespace vz {

// None when the element has no attribute of that name.
std::optional<std::string> getAttributeText(const xercesc::DOMElement* element, const char* name);

// As scanf "%i": decimal, 0x hexadecimal, 0 octal; text after the number is ignored. Values beyond
// 32 bits are bad values (scanf would leave them undefined); values above INT_MAX wrap as unsigned.
bool getIntAttribute(const xercesc::DOMElement* element, const char* name, int& out);
// As scanf "%lf", except that NaN, infinities and numbers beyond a double are bad values.
bool getDoubleAttribute(const xercesc::DOMElement* element, const char* name, double& out);

// Characters XML 1.0 cannot hold (control characters) are written as '?' and logged.
void setAttributeText(xercesc::DOMElement* element, const char* name, const char* text);
void setIntAttribute(xercesc::DOMElement* element, const char* name, int value);        // "%d"
void setUIntAttribute(xercesc::DOMElement* element, const char* name, unsigned value);  // "%u"
void setDoubleAttribute(xercesc::DOMElement* element, const char* name, double value);  // "%.20G"

// "%.20G": 20 significant digits, enough to read every double back unchanged.
std::string formatDouble(double value);

}  // namespace vz
