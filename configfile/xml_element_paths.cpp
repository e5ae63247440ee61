#include "configfile/xml_element_paths.h"

#include <cstring>
#include <string>
#include <xercesc/dom/DOMDocument.hpp>

#include "configfile/xml_text.h"

namespace vz {
namespace {

using xercesc::DOMElement;
using xercesc::DOMNode;
using xercesc::XMLString;

DOMElement* asElement(const DOMNode* node) {
    if (!node || node->getNodeType() != DOMNode::ELEMENT_NODE) return nullptr;
    return static_cast<DOMElement*>(const_cast<DOMNode*>(node));
}

// The first component and what follows its ".", if anything.
struct Split {
    std::string first;
    const char* rest;  // nullptr when the path has no "."
};

Split split(const char* path) {
    const char* dot = std::strchr(path, '.');
    if (!dot) return {path, nullptr};
    return {std::string(path, dot), dot + 1};
}

}  // namespace

DOMElement* findElement(const DOMNode* node, const char* path) {
    DOMElement* element = asElement(node);
    if (!element || !path) return nullptr;
    const Split s = split(path);
    const XmlText component(s.first.c_str());
    const XMLCh* name = element->getTagName();
    const bool matches =
        s.rest ? XMLString::startsWith(name, component.get()) : XMLString::equals(name, component.get());
    if (!matches) return nullptr;
    if (!s.rest) return element;
    for (DOMNode* child = element->getFirstChild(); child; child = child->getNextSibling())
        if (DOMElement* found = findElement(child, s.rest)) return found;
    return nullptr;
}

DOMElement* findChild(const DOMNode* node, const char* path) {
    if (!node || !path) return nullptr;
    for (DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling()) {
        if (child->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        if (DOMElement* found = findElement(child, path)) return found;
    }
    return nullptr;
}

DOMElement* getOrCreateChild(DOMElement* element, const char* path) {
    if (!element || !path) return nullptr;
    const Split s = split(path);
    if (s.first.empty()) return nullptr;
    const XmlText name(s.first.c_str());
    DOMElement* next = nullptr;
    for (DOMNode* child = element->getFirstChild(); child && !next; child = child->getNextSibling()) {
        DOMElement* candidate = asElement(child);
        if (candidate && XMLString::equals(candidate->getTagName(), name.get())) next = candidate;
    }
    if (!next) {
        next = element->getOwnerDocument()->createElement(name.get());
        element->appendChild(next);
    }
    return s.rest ? getOrCreateChild(next, s.rest) : next;
}

}  // namespace vz
