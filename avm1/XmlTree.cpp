// XML parsing and printing for the script's XML class.
//
// The parser is a forgiving single pass over the text, not a validating one: it looks at each
// '<' to decide between declaration, doctype, comment, CDATA and tag, and everything else up to
// the next '<' is text. Old content depends on this leniency (text outside any element, stray
// '&', no space between attributes), so only the faults the status codes name stop it, and the
// tree built so far is kept. An element is attached only once its start tag parsed completely.
// Open elements are tracked as a chain of pointers from the document node down; only the
// deepest one ever gains children, so the pointers into its ancestors stay valid.
#include "avm1/XmlTree.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace lumen::avm1 {
namespace {

constexpr std::string_view kSpace = " \r\n\t";

char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view prefix) {
  return pos <= text.size() && EqualsNoCase(text.substr(pos, prefix.size()), prefix);
}

bool IsSpaceOnly(std::string_view text) {
  return text.find_first_not_of(kSpace) == std::string_view::npos;
}

bool IsAlnumAscii(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  const char lower = ToLowerAscii(c);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

struct NamedEntity {
  std::string_view name;
  std::string_view text;
};

// Matched without regard to case; &nbsp; is understood although it is not an XML entity.
constexpr NamedEntity kNamedEntities[] = {
    {"&amp;", "&"}, {"&quot;", "\""}, {"&apos;", "'"},
    {"&lt;", "<"},  {"&gt;", ">"},    {"&nbsp;", "\xC2\xA0"},
};

// A character reference "&#NNN;" or "&#xHHH;". The number is read from the leading digits and
// letters or digits after it are skipped up to the ';' ("&#229e2;" is U+00E5). Returns the
// length consumed, or 0 when raw at pos is no usable reference.
size_t DecodeCharReference(std::string_view raw, size_t pos, std::string& out) {
  size_t i = pos + 2;  // past "&#"
  const bool hex = i < raw.size() && (raw[i] == 'x' || raw[i] == 'X');
  if (hex) ++i;
  const size_t digits_start = i;
  uint32_t code = 0;
  for (int digit; i < raw.size() && (digit = DigitValue(raw[i], hex)) >= 0; ++i) {
    code = code > 0x10FFFF ? code : code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
  }
  if (i == digits_start) return 0;
  while (i < raw.size() && IsAlnumAscii(raw[i])) ++i;
  if (i == raw.size() || raw[i] != ';') return 0;
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  AppendUtf8(out, code);
  return i + 1 - pos;
}

// Anything that does not decode stays as written, the '&' included.
std::string DecodeEntities(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  size_t pos = 0;
  while (pos < raw.size()) {
    const size_t amp = raw.find('&', pos);
    out.append(raw.substr(pos, amp - pos));
    if (amp == std::string_view::npos) break;
    pos = amp;
    size_t consumed = 0;
    for (const NamedEntity& entity : kNamedEntities) {
      if (StartsWithNoCase(raw, pos, entity.name)) {
        out.append(entity.text);
        consumed = entity.name.size();
        break;
      }
    }
    if (consumed == 0 && pos + 1 < raw.size() && raw[pos + 1] == '#') {
      consumed = DecodeCharReference(raw, pos, out);
    }
    if (consumed == 0) {
      out += '&';
      consumed = 1;
    }
    pos += consumed;
  }
  return out;
}

class Parser {
 public:
  Parser(std::string_view text, bool ignore_white, size_t max_nodes, size_t max_depth)
      : text_(text.substr(0, text.find('\0'))),  // script strings end at a NUL
        ignore_white_(ignore_white),
        max_nodes_(max_nodes),
        max_depth_(max_depth) {
    result_.root.is_document = true;
  }

  XmlParseResult Run() && {
    try {
      open_.push_back(&result_.root);
      while (result_.status == kXmlOk && pos_ < text_.size()) {
        if (text_[pos_] == '<') {
          ParseMarkup();
        } else {
          ParseText();
        }
      }
      if (result_.status == kXmlOk && open_.size() > 1) result_.status = kXmlEndTagMissing;
    } catch (const std::bad_alloc&) {
      result_.status = kXmlOutOfMemory;
    }
    return std::move(result_);
  }

 private:
  void Fail(XmlStatus status) {
    if (result_.status == kXmlOk) result_.status = status;
    pos_ = text_.size();
  }

  size_t SkipSpace(size_t pos) const {
    const size_t next = text_.find_first_not_of(kSpace, pos);
    return next == std::string_view::npos ? text_.size() : next;
  }

  // Appends to the deepest open element; nullptr (and the parse stopped) past a limit.
  XmlNode* Attach(XmlNode&& node) {
    if (node_count_ >= max_nodes_ || open_.size() > max_depth_) {
      Fail(kXmlOutOfMemory);
      return nullptr;
    }
    ++node_count_;
    std::vector<XmlNode>& siblings = open_.back()->children;
    siblings.push_back(std::move(node));
    return &siblings.back();
  }

  void ParseMarkup() {
    if (StartsWithNoCase(text_, pos_ + 1, "?xml")) {
      ParseXmlDecl();
    } else if (StartsWithNoCase(text_, pos_ + 1, "!DOCTYPE")) {
      ParseDoctype();
    } else if (text_.substr(pos_ + 1, 3) == "!--") {
      ParseComment();
    } else if (StartsWithNoCase(text_, pos_ + 1, "![CDATA[")) {
      ParseCdata();
    } else {
      ParseTag();
    }
  }

  void ParseXmlDecl() {
    const size_t close = text_.find("?>", pos_);
    if (close == std::string_view::npos) return Fail(kXmlDeclNotTerminated);
    result_.xml_decl.append(text_.substr(pos_, close + 2 - pos_));
    pos_ = close + 2;
  }

  // Brackets nest, so an internal subset with <!ENTITY ...> stays inside the doctype.
  void ParseDoctype() {
    size_t open_brackets = 1;
    size_t i = pos_ + 1;
    while (open_brackets > 0) {
      i = text_.find_first_of("<>", i);
      if (i == std::string_view::npos) return Fail(kXmlDoctypeNotTerminated);
      if (text_[i] == '<') {
        ++open_brackets;
      } else {
        --open_brackets;
      }
      ++i;
    }
    result_.doctype = std::string(text_.substr(pos_, i - pos_));
    pos_ = i;
  }

  void ParseComment() {
    const size_t close = text_.find("-->", pos_ + 4);
    if (close == std::string_view::npos) return Fail(kXmlCommentNotTerminated);
    pos_ = close + 3;
  }

  // CDATA content is taken as written and kept even when it is only white space.
  void ParseCdata() {
    const size_t start = pos_ + 9;
    const size_t close = text_.find("]]>", start);
    if (close == std::string_view::npos) return Fail(kXmlCdataNotTerminated);
    pos_ = close + 3;
    Attach(MakeXmlText(std::string(text_.substr(start, close - start))));
  }

  void ParseText() {
    const size_t end = std::min(text_.find('<', pos_), text_.size());
    const std::string_view raw = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (ignore_white_ && IsSpaceOnly(raw)) return;
    Attach(MakeXmlText(DecodeEntities(raw)));
  }

  void ParseTag() {
    const bool closing = pos_ + 1 < text_.size() && text_[pos_ + 1] == '/';
    const size_t name_start = pos_ + (closing ? 2 : 1);
    size_t name_end = text_.find_first_of(">\r\n\t ", name_start);
    if (name_end == std::string_view::npos) return Fail(kXmlElementMalformed);
    // "<a/>" names "a", but "<a/ >" names "a/".
    if (text_[name_end] == '>' && name_end > name_start && text_[name_end - 1] == '/') --name_end;
    if (name_end == name_start) return Fail(kXmlElementMalformed);
    const std::string_view name = text_.substr(name_start, name_end - name_start);
    if (closing) {
      ParseEndTag(name, name_end);
    } else {
      ParseStartTag(name, name_end);
    }
  }

  void ParseStartTag(std::string_view name, size_t pos) {
    XmlNode element = MakeXmlElement(std::string(name));
    pos = SkipSpace(pos);
    while (pos < text_.size() && text_[pos] != '>' && text_.substr(pos, 2) != "/>") {
      pos = ParseAttribute(element, pos);
      if (result_.status != kXmlOk) return;
      pos = SkipSpace(pos);
    }
    if (pos >= text_.size()) return Fail(kXmlElementMalformed);
    const bool empty = text_[pos] == '/';
    pos_ = pos + (empty ? 2 : 1);
    XmlNode* attached = Attach(std::move(element));
    if (attached != nullptr && !empty) open_.push_back(attached);
  }

  // name = "value" or name='value'; a quote preceded by a backslash does not end the value.
  // Of attributes with the same name the first is kept. Returns the position after the value.
  size_t ParseAttribute(XmlNode& element, size_t pos) {
    const size_t name_end = text_.find_first_of("=>\r\n\t ", pos);
    if (name_end == pos || name_end == std::string_view::npos) {
      Fail(kXmlElementMalformed);
      return pos_;
    }
    const size_t equals = SkipSpace(name_end);
    if (equals >= text_.size() || text_[equals] != '=') {
      Fail(kXmlElementMalformed);
      return pos_;
    }
    const size_t quote = SkipSpace(equals + 1);
    if (quote >= text_.size() || (text_[quote] != '"' && text_[quote] != '\'')) {
      Fail(kXmlElementMalformed);
      return pos_;
    }
    size_t close = quote;
    do {
      close = text_.find(text_[quote], close + 1);
    } while (close != std::string_view::npos && text_[close - 1] == '\\');
    if (close == std::string_view::npos) {
      Fail(kXmlAttributeNotTerminated);
      return pos_;
    }
    std::string attribute_name = DecodeEntities(text_.substr(pos, name_end - pos));
    for (const auto& attribute : element.attributes) {
      if (attribute.first == attribute_name) return close + 1;
    }
    element.attributes.emplace_back(std::move(attribute_name),
                                    DecodeEntities(text_.substr(quote + 1, close - quote - 1)));
    return close + 1;
  }

  // Names match without regard to case. An end tag naming an element further up means a start
  // tag lost its end tag; naming none at all, it has no start tag.
  void ParseEndTag(std::string_view name, size_t pos) {
    const size_t close = text_.find('>', pos);
    if (close == std::string_view::npos) return Fail(kXmlElementMalformed);
    pos_ = close + 1;
    if (open_.size() > 1 && EqualsNoCase(open_.back()->name, name)) {
      open_.pop_back();
      return;
    }
    for (size_t i = 1; i < open_.size(); ++i) {
      if (EqualsNoCase(open_[i]->name, name)) return Fail(kXmlEndTagMissing);
    }
    Fail(kXmlStartTagMissing);
  }

  std::string_view text_;
  bool ignore_white_;
  size_t max_nodes_;
  size_t max_depth_;
  size_t pos_ = 0;
  size_t node_count_ = 0;
  std::vector<XmlNode*> open_;
  XmlParseResult result_;
};

// Writes the node up to its children; true when an end tag must follow them.
bool AppendStartOf(std::string& out, const XmlNode& node) {
  if (node.type == XmlNode::Text) {
    AppendXmlEscaped(out, node.value);
    return false;
  }
  if (node.is_document) return true;
  out += '<';
  out += node.name;
  for (const auto& [name, value] : node.attributes) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendXmlEscaped(out, value);
    out += '"';
  }
  out += node.children.empty() ? " />" : ">";
  return !node.children.empty();
}

}  // namespace

XmlNode MakeXmlElement(std::string name) {
  XmlNode node;
  node.name = std::move(name);
  return node;
}

XmlNode MakeXmlText(std::string value) {
  XmlNode node;
  node.type = XmlNode::Text;
  node.value = std::move(value);
  return node;
}

XmlParseResult ParseXml(std::string_view text, bool ignore_white, size_t max_nodes,
                        size_t max_depth) {
  return Parser(text, ignore_white, max_nodes, max_depth).Run();
}

void AppendXmlEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
}

std::string SerializeXml(const XmlNode& node, std::string_view xml_decl, std::string_view doctype) {
  std::string out;
  if (node.is_document) {
    out.append(xml_decl);
    out.append(doctype);
  }
  // An explicit stack of (element, next child) keeps deep trees off the call stack.
  std::vector<std::pair<const XmlNode*, size_t>> open;
  if (AppendStartOf(out, node)) open.emplace_back(&node, 0);
  while (!open.empty()) {
    auto& [element, next] = open.back();
    if (next < element->children.size()) {
      const XmlNode& child = element->children[next++];
      if (AppendStartOf(out, child)) open.emplace_back(&child, 0);
      continue;
    }
    if (element->type == XmlNode::Element && !element->is_document) {
      out += "</";
      out += element->name;
      out += '>';
    }
    open.pop_back();
  }
  return out;
}

}  // namespace lumen::avm1
