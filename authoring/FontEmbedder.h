#pragma once

// Embeds the glyphs a movie's text needs from a TrueType font, as the authoring tool does when
// it exports a font: outlines in DefineFont3 units (20480 to the em), advances, kerning.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/TextWriter.h"

namespace lumen::authoring {

class EmbeddedFont {
 public:
  // The glyphs of `chars` (ASCII) found in the font; nothing when the file is not a font.
  static std::optional<EmbeddedFont> FromTrueType(std::span<const uint8_t> file,
                                                  std::string_view chars, uint16_t id,
                                                  std::string name);

  const FontSpec& Spec() const { return spec_; }
  // A run of static text for `text` at `height` twips, its baseline starting at (x, y).
  TextRunSpec Run(std::string_view text, uint16_t height, Color color, int16_t x, int16_t y) const;
  // The advance of `text` at `height` twips.
  int32_t Width(std::string_view text, uint16_t height) const;

 private:
  int Index(char c) const;
  int32_t Advance(size_t index, char next, uint16_t height) const;

  FontSpec spec_;
  std::vector<std::vector<int16_t>> kerning_;  // [left][right], font units
};

// The sample's caption font from the Debian fonts, or nothing when it is not installed.
std::vector<uint8_t> ReadCaptionFont();

}  // namespace lumen::authoring
