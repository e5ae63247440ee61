#pragma once
// Elements addressed by dotted paths such as "Output.U5". A component followed by "." matches any
// element whose name begins with it; the last component must match the name exactly.
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

namespace vz {

// The element reached from node (which itself must match the first component), or nullptr.
xercesc::DOMElement* findElement(const xercesc::DOMNode* node, const char* path);

// findElement on each child element of node in document order; the first match wins.
xercesc::DOMElement* findChild(const xercesc::DOMNode* node, const char* path);

// Follows the path by exact names from element, appending each missing element as the last child.
// nullptr only for a path with an empty component.
xercesc::DOMElement* getOrCreateChild(xercesc::DOMElement* element, const char* path);

}  // namespace vz
