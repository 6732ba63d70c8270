#pragma once

// Lays formatted text out in lines: fonts by format, advances and kerning, word wrap, paragraph
// margins and indents, alignment and line spacing. Positions are twips from the top left corner
// of the field's text area (inside its 2-pixel gutter).

#include <cstdint>
#include <vector>

#include "text/Font.h"
#include "text/TextFormat.h"

namespace lumen::text {

// Finds the font that draws a format: embedded glyphs or a device font, by the field's rules.
class FontResolver {
 public:
  virtual ~FontResolver() = default;
  virtual const Font* Resolve(const TextFormat& format) = 0;
};

struct LayoutOptions {
  float width = 0;  // twips of text area; wrapping and alignment measure against it
  bool word_wrap = false;
  bool password = false;  // every character shows as '*'
};

struct PlacedGlyph {
  const Glyph* glyph = nullptr;
  float x = 0, baseline = 0;  // twips
  float scale = 0;            // font units to twips
  render::Rgba color;
  size_t index = 0;  // of the character it draws
};

struct TextLine {
  float top = 0, ascent = 0, descent = 0, leading = 0;  // twips
  float left = 0, width = 0;                            // the ink's extent along the line
  size_t first_glyph = 0, end_glyph = 0;                // into TextLayout::glyphs
  size_t first_char = 0, end_char = 0;                  // into the text
};

struct Underline {
  render::Rect rect;
  render::Rgba color;
};

struct TextLayout {
  std::vector<TextLine> lines;
  std::vector<PlacedGlyph> glyphs;
  std::vector<Underline> underlines;
  // Where each character starts along its line, and where the last one ends: a caret's place.
  std::vector<float> char_x;
  float text_width = 0, text_height = 0;  // twips
};

TextLayout LayOut(const FormattedText& text, const LayoutOptions& options, FontResolver& fonts);

}  // namespace lumen::text
