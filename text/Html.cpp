// Design: one pass over the source. Text between tags is decoded (entities) and appended in the
// current format; every opening tag pushes the format it replaces, and a closing tag pops back
// to the format before the most recent opening tag of its name, closing what was opened inside
// it. Paragraph tags end their paragraph with '\r' in multiline fields; single-line fields run
// their paragraphs on. With a style sheet, the format an opening tag makes starts from its tag's
// and its class's styles.

#include "text/Html.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "unicode/Ascii.h"
#include "unicode/Utf.h"

namespace lumen::text {

namespace {

constexpr size_t kMaxOpenTags = 256;  // deeper nesting is read as text of the innermost

struct Attribute {
  std::string_view name, value;
};

struct Tag {
  std::string_view name;
  bool closing = false;
  std::vector<Attribute> attributes;
};

bool SameName(std::string_view a, std::string_view b) {
  return unicode::SameAsciiLetters(a, b);
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the inside of <...>: name and attributes, values quoted with ' or ". A bare value makes
// the tag unreadable (nothing).
std::optional<Tag> ReadTag(std::string_view inner) {
  Tag tag;
  size_t i = 0;
  if (i < inner.size() && inner[i] == '/') {
    tag.closing = true;
    ++i;
  }
  const size_t name_start = i;
  while (i < inner.size() && !IsSpace(inner[i]) && inner[i] != '/') ++i;
  tag.name = inner.substr(name_start, i - name_start);
  while (i < inner.size()) {
    while (i < inner.size() && (IsSpace(inner[i]) || inner[i] == '/')) ++i;
    const size_t key_start = i;
    while (i < inner.size() && inner[i] != '=' && !IsSpace(inner[i])) ++i;
    Attribute attribute{inner.substr(key_start, i - key_start), {}};
    while (i < inner.size() && IsSpace(inner[i])) ++i;
    if (i < inner.size() && inner[i] == '=') {
      ++i;
      while (i < inner.size() && IsSpace(inner[i])) ++i;
      if (i < inner.size() && (inner[i] == '"' || inner[i] == '\'')) {
        const char quote = inner[i++];
        const size_t value_start = i;
        while (i < inner.size() && inner[i] != quote) ++i;
        attribute.value = inner.substr(value_start, i - value_start);
        if (i < inner.size()) ++i;
      } else {
        return std::nullopt;
      }
    }
    if (!attribute.name.empty()) tag.attributes.push_back(attribute);
  }
  return tag;
}

std::optional<double> Number(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// "#RRGGBB": white space may follow the '#', the hex digits run to the first other character,
// and the last six of them count; without the '#' or any digit the colour stays as it was.
std::optional<render::Rgba> Color(std::string_view text) {
  if (text.empty() || text.front() != '#') return std::nullopt;
  size_t i = 1;
  while (i < text.size() && IsSpace(text[i])) ++i;
  uint32_t rgb = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i, ++digits) {
    const char c = text[i];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) break;
    rgb = (rgb << 4 | static_cast<uint32_t>(d)) & 0xFFFFFF;
  }
  if (digits == 0) return std::nullopt;
  return render::Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                      static_cast<uint8_t>(rgb), 255};
}

Align AlignFrom(std::string_view value, Align fallback) {
  if (SameName(value, "left")) return Align::Left;
  if (SameName(value, "right")) return Align::Right;
  if (SameName(value, "center")) return Align::Center;
  if (SameName(value, "justify")) return Align::Justify;
  return fallback;
}

// An entity after '&' up to ';', or nothing when it is not one.
std::optional<char32_t> Entity(std::string_view name) {
  if (name == "lt") return U'<';
  if (name == "gt") return U'>';
  if (name == "amp") return U'&';
  if (name == "quot") return U'"';
  if (name == "apos") return U'\'';
  if (name == "nbsp") return U'\u00A0';
  if (name.size() >= 2 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    uint32_t code = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (error != std::errc() || end != digits.data() + digits.size() || code > 0x10FFFF) {
      return std::nullopt;
    }
    return static_cast<char32_t>(code);
  }
  return std::nullopt;
}

class HtmlReader {
 public:
  HtmlReader(const TextFormat& base, const HtmlOptions& options)
      : format_(base), options_(options) {}

  FormattedText Read(std::string_view html) {
    size_t i = 0;
    while (i < html.size()) {
      if (html[i] == '<') {
        const size_t close = html.find('>', i + 1);
        // An unfinished tag ends the text; an unreadable one leaves none at all.
        if (close == std::string_view::npos) break;
        const std::optional<Tag> tag = ReadTag(html.substr(i + 1, close - i - 1));
        if (!tag) return {};
        Handle(*tag);
        i = close + 1;
        continue;
      }
      const size_t next = html.find('<', i);
      const size_t end = next == std::string_view::npos ? html.size() : next;
      Text(Decode(html.substr(i, end - i)));
      i = end;
    }
    return std::move(out_);
  }

 private:
  struct Open {
    std::string_view name;
    TextFormat saved;
  };

  // The characters of the text between two tags, entities decoded.
  static std::u16string Decode(std::string_view html) {
    std::string utf8;
    size_t i = 0;
    while (i < html.size()) {
      const size_t amp = html.find('&', i);
      utf8.append(html.substr(i, amp == std::string_view::npos ? amp : amp - i));
      if (amp == std::string_view::npos) break;
      const size_t semicolon = html.find(';', amp + 1);
      std::optional<char32_t> code;
      if (semicolon != std::string_view::npos && semicolon - amp <= 10) {
        code = Entity(html.substr(amp + 1, semicolon - amp - 1));
      }
      if (code) {
        unicode::AppendUtf8(utf8, *code);
        i = semicolon + 1;
      } else {
        utf8 += '&';
        i = amp + 1;
      }
    }
    return unicode::ToUtf16(utf8);
  }

  static bool IsWhite(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

  // With condenseWhite, text of nothing but white space is dropped, and elsewhere each run of
  // it is one space; without, line feeds become the field's line breaks.
  void Text(std::u16string chars) {
    if (chars.empty()) return;
    if (!options_.condense_white) {
      for (char16_t& c : chars) {
        if (c == u'\n') c = u'\r';
      }
      Append(chars);
      return;
    }
    if (std::all_of(chars.begin(), chars.end(), IsWhite)) return;
    std::u16string condensed;
    for (const char16_t c : chars) {
      if (!IsWhite(c)) {
        condensed += c;
      } else if (condensed.empty() || condensed.back() != u' ') {
        condensed += u' ';
      }
    }
    Append(condensed);
  }

  void Append(std::u16string_view chars) { out_.Append(chars, format_); }

  // Single-line fields have no breaks: their paragraphs run on in one line.
  void Break() {
    if (options_.multiline) Append(u"\r");
  }

  void EndParagraph() { Break(); }

  void StartParagraph() {
    if (!out_.text.empty() && !IsLineBreak(out_.text.back())) Break();
  }

  void Handle(const Tag& tag) {
    if (tag.closing) {
      Close(tag.name);
      return;
    }
    if (SameName(tag.name, "br")) {
      Break();
      return;
    }
    if (open_.size() >= kMaxOpenTags) return;
    TextFormat next = format_;
    if (options_.styles) Style(tag, next);
    if (SameName(tag.name, "p")) {
      StartParagraph();
      for (const Attribute& a : tag.attributes) {
        if (SameName(a.name, "align")) next.align = AlignFrom(a.value, next.align);
      }
    } else if (SameName(tag.name, "li")) {
      StartParagraph();
      next.bullet = true;
    } else if (SameName(tag.name, "b")) {
      next.bold = true;
    } else if (SameName(tag.name, "i")) {
      next.italic = true;
    } else if (SameName(tag.name, "u")) {
      next.underline = true;
    } else if (SameName(tag.name, "font")) {
      FontAttributes(tag, next);
    } else if (SameName(tag.name, "a")) {
      for (const Attribute& a : tag.attributes) {
        if (SameName(a.name, "href")) next.url = std::string(a.value);
        if (SameName(a.name, "target")) next.target = std::string(a.value);
      }
    } else if (SameName(tag.name, "textformat")) {
      TextFormatAttributes(tag, next);
    } else if (!SameName(tag.name, "span")) {
      return;  // unknown tags change nothing and need no closing
    }
    open_.push_back({tag.name, format_});
    format_ = std::move(next);
  }

  void Style(const Tag& tag, TextFormat& f) const {
    std::string selector(tag.name);
    for (char& c : selector) c = unicode::AsciiLower(c);
    options_.styles(selector, f);
    for (const Attribute& a : tag.attributes) {
      if (SameName(a.name, "class")) options_.styles("." + std::string(a.value), f);
    }
  }

  static void FontAttributes(const Tag& tag, TextFormat& f) {
    for (const Attribute& a : tag.attributes) {
      if (SameName(a.name, "face")) {
        f.font = std::string(a.value);
      } else if (SameName(a.name, "size")) {
        if (const auto n = Number(a.value)) {
          const bool relative = !a.value.empty() && (a.value[0] == '+' || a.value[0] == '-');
          f.size = static_cast<float>(relative ? f.size + *n : *n);
          if (f.size < 0) f.size = 0;
        }
      } else if (SameName(a.name, "color")) {
        if (const auto c = Color(a.value)) f.color = *c;
      } else if (SameName(a.name, "letterspacing")) {
        if (const auto n = Number(a.value)) f.letter_spacing = static_cast<float>(*n);
      } else if (SameName(a.name, "kerning")) {
        if (const auto n = Number(a.value)) f.kerning = *n != 0;
      }
    }
  }

  static void TextFormatAttributes(const Tag& tag, TextFormat& f) {
    for (const Attribute& a : tag.attributes) {
      const auto n = Number(a.value);
      if (!n) continue;
      const auto v = static_cast<float>(*n);
      if (SameName(a.name, "leftmargin")) f.left_margin = v;
      if (SameName(a.name, "rightmargin")) f.right_margin = v;
      if (SameName(a.name, "indent")) f.indent = v;
      if (SameName(a.name, "blockindent")) f.block_indent = v;
      if (SameName(a.name, "leading")) f.leading = v;
    }
  }

  void Close(std::string_view name) {
    for (size_t i = open_.size(); i-- > 0;) {
      if (!SameName(open_[i].name, name)) continue;
      // The break ending a paragraph is its own, in its format.
      if (SameName(name, "p") || SameName(name, "li")) EndParagraph();
      format_ = open_[i].saved;
      open_.resize(i);
      return;
    }
  }

  TextFormat format_;
  HtmlOptions options_;
  std::vector<Open> open_;
  FormattedText out_;
};

std::string Number(float v) {
  char buffer[32];
  if (v == std::floor(v) && std::fabs(v) < 1e9f) {
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(v));
  } else {
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(v));
  }
  return buffer;
}

const char* AlignName(Align a) {
  switch (a) {
    case Align::Right:
      return "RIGHT";
    case Align::Center:
      return "CENTER";
    case Align::Justify:
      return "JUSTIFY";
    default:
      return "LEFT";
  }
}

void Escaped(std::string& out, std::u16string_view chars) {
  for (const char16_t c : chars) {
    if (c == u'<') {
      out += "&lt;";
    } else if (c == u'>') {
      out += "&gt;";
    } else if (c == u'&') {
      out += "&amp;";
    } else if (c == u'"') {
      out += "&quot;";
    } else {
      out += unicode::ToUtf8(std::u16string_view(&c, 1));
    }
  }
}

std::string FontOpening(const TextFormat& f) {
  char color[8];
  std::snprintf(color, sizeof color, "#%02X%02X%02X", f.color.r, f.color.g, f.color.b);
  return "<FONT FACE=\"" + f.font + "\" SIZE=\"" + Number(f.size) + "\" COLOR=\"" + color +
         "\" LETTERSPACING=\"" + Number(f.letter_spacing) + "\" KERNING=\"" +
         (f.kerning ? "1" : "0") + "\">";
}

// A run's characters in its link and styles; the FONT around it is shared by neighbours.
void Styled(std::string& out, std::u16string_view chars, const TextFormat& f) {
  if (!f.url.empty()) out += "<A HREF=\"" + f.url + "\" TARGET=\"" + f.target + "\">";
  if (f.bold) out += "<B>";
  if (f.italic) out += "<I>";
  if (f.underline) out += "<U>";
  Escaped(out, chars);
  if (f.underline) out += "</U>";
  if (f.italic) out += "</I>";
  if (f.bold) out += "</B>";
  if (!f.url.empty()) out += "</A>";
}

std::string TextFormatOpening(const TextFormat& f) {
  std::string attributes;
  auto add = [&](const char* name, float v) {
    if (v != 0) attributes += std::string(" ") + name + "=\"" + Number(v) + "\"";
  };
  add("LEFTMARGIN", f.left_margin);
  add("RIGHTMARGIN", f.right_margin);
  add("INDENT", f.indent);
  add("BLOCKINDENT", f.block_indent);
  add("LEADING", f.leading);
  return attributes.empty() ? std::string() : "<TEXTFORMAT" + attributes + ">";
}

}  // namespace

std::string WriteHtml(const FormattedText& text) {
  std::string out;
  const std::u16string_view all(text.text);
  if (all.empty()) return out;
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < all.size() && !IsLineBreak(all[end])) ++end;
    const TextFormat& pf = text.FormatAt(start);
    const std::string wrap = TextFormatOpening(pf);
    out += wrap;
    out += pf.bullet ? "<LI>" : std::string("<P ALIGN=\"") + AlignName(pf.align) + "\">";
    // Neighbouring runs in the same font share one FONT element.
    std::string font = FontOpening(pf);
    out += font;
    size_t at = start;
    for (const FormatRun& run : text.runs) {
      if (run.end <= at) continue;
      const size_t to = std::min(run.end, end);
      if (at < to) {
        const std::string opening = FontOpening(run.format);
        if (opening != font) {
          out += "</FONT>" + opening;
          font = opening;
        }
        Styled(out, all.substr(at, to - at), run.format);
      }
      at = to;
      if (at >= end) break;
    }
    out += "</FONT>";
    out += pf.bullet ? "</LI>" : "</P>";
    if (!wrap.empty()) out += "</TEXTFORMAT>";
    // A break at the very end closes the last paragraph without opening another.
    if (end + 1 >= all.size()) break;
    start = end + 1;
  }
  return out;
}

FormattedText ParseHtml(std::string_view html, const TextFormat& base, const HtmlOptions& options) {
  return HtmlReader(base, options).Read(html);
}

}  // namespace lumen::text
