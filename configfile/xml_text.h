#pragma once
// Text between the program's 8-bit strings and the DOM's XML strings, through the parser's
// transcoder. Valid only while the parser platform is initialised.
#include <string>
#include <xercesc/util/XMLString.hpp>

namespace vz {

// An XML string made from an 8-bit string, released with the object.
class XmlText {
  public:
    explicit XmlText(const char* text) : text_(xercesc::XMLString::transcode(text)) {}
    ~XmlText() { xercesc::XMLString::release(&text_); }
    XmlText(const XmlText&) = delete;
    XmlText& operator=(const XmlText&) = delete;

    const XMLCh* get() const { return text_; }

  private:
    XMLCh* text_;
};

// The 8-bit copy of an XML string; empty for none.
inline std::string nativeText(const XMLCh* text) {
    if (!text) return {};
    char* native = xercesc::XMLString::transcode(text);
    std::string copy = native ? native : "";
    xercesc::XMLString::release(&native);
    return copy;
}

}  // namespace vz
