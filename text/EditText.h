#pragma once

// DefineEditText: the definition a text field starts from.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "render/Geometry.h"
#include "text/TextFormat.h"

namespace lumen::text {

enum EditTextFlag : uint16_t {
  kHasFont = 0x0001,
  kHasMaxLength = 0x0002,
  kHasTextColor = 0x0004,
  kReadOnly = 0x0008,
  kPassword = 0x0010,
  kMultiline = 0x0020,
  kWordWrap = 0x0040,
  kHasText = 0x0080,
  kUseOutlines = 0x0100,
  kHtml = 0x0200,
  kWasStatic = 0x0400,
  kBorder = 0x0800,
  kNoSelect = 0x1000,
  kHasLayout = 0x2000,
  kAutoSize = 0x4000,
  kHasFontClass = 0x8000,
};

struct EditTextDef {
  render::Rect bounds;  // twips
  uint16_t flags = 0;
  std::optional<uint16_t> font_id;
  std::string font_class;
  float height = 240;  // twips
  render::Rgba color{0, 0, 0, 255};
  uint16_t max_length = 0;
  Align align = Align::Left;
  float left_margin = 0, right_margin = 0, indent = 0, leading = 0;  // twips
  std::string variable;                                              // UTF-8
  std::string initial_text;                                          // UTF-8

  bool Has(EditTextFlag flag) const { return (flags & flag) != 0; }
};

// Reads a DefineEditText tag body; strings of movies before version 6 are Latin-1. Nothing when
// the fixed part does not parse; a missing variable name or text reads as empty.
std::optional<EditTextDef> ReadEditText(std::span<const uint8_t> body, uint8_t version);

}  // namespace lumen::text
