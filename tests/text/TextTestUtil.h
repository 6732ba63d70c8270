#pragma once

// Fonts for text tests: squares and rings at known places, so pictures and bounds can be checked.

#include "authoring/TextWriter.h"

namespace lumen::text::testing {

// A DefineFont3 (id 1, "Boxes") of two glyphs, each an em wide: 'A' a square filling the em
// above the baseline, 'O' the same square with a hole. Ascent 16384, descent 4096.
inline void BoxFont(authoring::Bytes& tags, uint16_t id = 1) {
  authoring::FontSpec font;
  font.id = id;
  font.name = "Boxes";
  font.ascent = 16384;
  font.descent = 4096;
  authoring::GlyphSpec a;
  a.code = 'A';
  a.advance = 20480;
  a.outline.Select(0, 1);
  a.outline.Rectangle(0, -20480, 20480, 0);
  authoring::GlyphSpec o = a;
  o.code = 'O';
  o.outline.Select(1, 0);  // the hole's edges have the fill on their other side
  o.outline.Rectangle(5120, -15360, 15360, -5120);
  font.glyphs.push_back(std::move(a));
  font.glyphs.push_back(std::move(o));
  authoring::DefineFont3(tags, font);
}

}  // namespace lumen::text::testing
