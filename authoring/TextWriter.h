#pragma once

// Writers for font and text tags: DefineFont3 from glyph outlines, DefineText/DefineText2 from
// positioned glyph runs, and DefineEditText from a field description.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"

namespace lumen::authoring {

struct GlyphSpec {
  uint16_t code = 0;
  ShapeWriter outline;  // font units (20480 to the em), y down; selects fill 1 on its edges
  int16_t advance = 0;
};

struct FontSpec {
  uint16_t id = 1;
  std::string name;
  bool bold = false, italic = false;
  std::vector<GlyphSpec> glyphs;
  uint16_t ascent = 0, descent = 0;
  int16_t leading = 0;
};

// DefineFont3 with its layout (advances, empty bounds, no kerning), wide offsets where needed.
void DefineFont3(Bytes& out, const FontSpec& font);

struct TextRunSpec {
  std::optional<uint16_t> font;  // with height
  uint16_t height = 240;         // twips
  std::optional<Color> color;
  std::optional<int16_t> x, y;
  std::vector<std::pair<uint32_t, int32_t>> glyphs;  // glyph index, advance (twips)
};

// DefineText (or DefineText2 with alpha colours when `alpha`).
void DefineText(Bytes& out, uint16_t id, const MatrixSpec& matrix,
                const std::vector<TextRunSpec>& runs, bool alpha = false);

struct EditTextSpec {
  uint16_t id = 1;
  int32_t x_min = 0, x_max = 2000, y_min = 0, y_max = 400;  // twips
  uint16_t flags = 0;  // the tag's flag word; the Has* bits follow from the fields below
  std::optional<uint16_t> font;
  uint16_t height = 240;
  std::optional<Color> color;
  std::optional<uint16_t> max_length;
  std::optional<uint8_t> align;  // with the margins, indent and leading below
  uint16_t left_margin = 0, right_margin = 0;
  int16_t indent = 0, leading = 0;
  std::string variable;
  std::optional<std::string> text;
};

void DefineEditText(Bytes& out, const EditTextSpec& field);

}  // namespace lumen::authoring
