#pragma once

// The HTML subset of text fields: p (align), br, b, i, u, font (face, size, color, letterSpacing,
// kerning), a (href, target), li, span, textformat (margins, indents, leading) and the common
// entities. Unknown tags are dropped and their content kept; a closing tag without its opening
// one is ignored; a tag left open at the end simply ends there.

#include <functional>
#include <string>
#include <string_view>

#include "text/TextFormat.h"

namespace lumen::text {

// A style sheet: applies the style of a selector (a tag name in lower case, or '.' and a class
// name) to a format; a selector without a style changes nothing.
using StyleSheet = std::function<void(std::string_view selector, TextFormat& format)>;

struct HtmlOptions {
  bool condense_white = false;  // runs of white space are one space, white space alone nothing
  bool multiline = true;        // false: no break after the last paragraph
  // With a style sheet, each tag takes its tag's style and then its class's, before its own
  // attributes; span tags carry a class and nothing else.
  StyleSheet styles;
};

// `html` is UTF-8. Line breaks come out as '\r', as fields store them.
FormattedText ParseHtml(std::string_view html, const TextFormat& base,
                        const HtmlOptions& options = {});
// The HTML a field answers for its text: a P (or LI) per paragraph, a FONT per run, B, I, U and
// A inside it, and TEXTFORMAT around paragraphs with margins, indents or leading.
std::string WriteHtml(const FormattedText& text);

}  // namespace lumen::text
