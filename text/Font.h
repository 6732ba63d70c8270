#pragma once

// A font as text layout sees it: glyph outlines in font units, advances, the code table, line
// metrics and kerning. Embedded fonts come from DefineFont, DefineFont2 and DefineFont3 (with
// DefineFontInfo for the first); device fonts are made from TrueType files the same way.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/Geometry.h"

namespace lumen::text {

struct Glyph {
  render::Path outline;  // font units, y down, origin on the baseline
  float advance = 0;     // font units
  uint16_t code = 0;     // the character it draws (UTF-16), 0 when unknown
};

// Supplies glyphs on demand, for fonts too large to read whole (device fonts).
class GlyphLoader {
 public:
  virtual ~GlyphLoader() = default;
  // The glyph drawing `code`, or nothing when the font has none.
  virtual std::optional<Glyph> Load(uint16_t code) = 0;
  virtual float Kerning(uint16_t left, uint16_t right) = 0;
};

class Font {
 public:
  std::string name;
  bool bold = false;
  bool italic = false;
  bool has_layout = false;  // advances, metrics and kerning were given
  float units_per_em = 1024;
  float ascent = 0, descent = 0, leading = 0;  // font units
  std::vector<Glyph> glyphs;
  // Device fonts: where glyphs not yet in `glyphs` come from.
  std::shared_ptr<GlyphLoader> loader;

  // The glyph index drawing `code`, or -1; embedded glyphs only.
  int GlyphFor(uint16_t code) const;
  // The glyph drawing `code`, loading it when the font has a loader; null when there is none.
  // Pointers stay valid while the font lives.
  const Glyph* Find(uint16_t code) const;
  // Extra advance, in font units, between the glyphs of two codes.
  float Kerning(uint16_t left, uint16_t right) const;

  // Rebuilds the code lookup after `glyphs` changed their codes.
  void IndexCodes();
  void AddKerning(uint16_t left, uint16_t right, float adjust);

 private:
  std::unordered_map<uint16_t, uint16_t> by_code_;
  mutable std::unordered_map<uint16_t, std::unique_ptr<const Glyph>> loaded_;  // null: none
  std::unordered_map<uint32_t, float> kerning_;
};

// Reads DefineFont (10), DefineFont2 (48) or DefineFont3 (75) from its whole tag body; nothing
// when the tag does not parse. A font gets at most the glyphs and edges a hostile tag may claim
// within its own length.
std::optional<Font> ReadFont(uint16_t tag, std::span<const uint8_t> body);
// Applies DefineFontInfo (13) or DefineFontInfo2 (62): name, style and the code table. False
// when the body does not parse.
bool ApplyFontInfo(uint16_t tag, std::span<const uint8_t> body, Font& font);
// The font id a font or font info tag body starts with.
std::optional<uint16_t> FontIdOf(std::span<const uint8_t> body);

}  // namespace lumen::text
