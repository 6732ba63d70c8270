#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumen::avm1 {

// One node of an XML tree, shaped like the script's XMLNode. An element has a name, attributes
// in document order (of a repeated name only the first) and children; a text node has its decoded
// value. The document node (the XML object itself) is an element whose nodeName reads null: it
// prints only its children.
struct XmlNode {
  enum Type { Element = 1, Text = 3 };  // the values nodeType reports

  Type type = Element;
  bool is_document = false;
  std::string name;   // elements
  std::string value;  // text nodes
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<XmlNode> children;
};

XmlNode MakeXmlElement(std::string name);
XmlNode MakeXmlText(std::string value);

// XML.status after a parse.
enum XmlStatus : int {
  kXmlOk = 0,
  kXmlCdataNotTerminated = -2,
  kXmlDeclNotTerminated = -3,
  kXmlDoctypeNotTerminated = -4,
  kXmlCommentNotTerminated = -5,
  kXmlElementMalformed = -6,
  kXmlOutOfMemory = -7,
  kXmlAttributeNotTerminated = -8,
  kXmlEndTagMissing = -9,
  kXmlStartTagMissing = -10,
};

struct XmlParseResult {
  XmlNode root;          // the document node; its children are the top-level nodes
  int status = kXmlOk;   // an XmlStatus
  std::string xml_decl;  // every <?xml ...?> met, concatenated; empty when none (xmlDecl undefined)
  std::string doctype;   // the last <!DOCTYPE ...> met; empty when none (docTypeDecl undefined)
};

// XML.parseXML. Parsing stops at the first error; the nodes built before it stay in the tree.
// Comments are dropped, CDATA sections become text nodes, entities are decoded in text and
// attribute values, and with ignore_white text made only of spaces, tabs and line breaks is
// dropped. A tree that would hold more than max_nodes nodes, or a node deeper than max_depth
// (top-level nodes have depth 1), stops the parse with kXmlOutOfMemory.
XmlParseResult ParseXml(std::string_view text, bool ignore_white, size_t max_nodes,
                        size_t max_depth);

// XMLNode.toString: `<name a="v" />` for an empty element, escaped text, and for the document
// node xml_decl and doctype followed by its children. Expects a tree no deeper than a parse
// allows (its nodes are freed recursively).
// Appends `text` with & < > " ' written as entities, as XML text and attributes print.
void AppendXmlEscaped(std::string& out, std::string_view text);

std::string SerializeXml(const XmlNode& node, std::string_view xml_decl = {},
                         std::string_view doctype = {});

}  // namespace lumen::avm1
