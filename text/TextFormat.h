#pragma once

// Formatted text as text fields hold it: UTF-16 characters and the format of each stretch of
// them, as scripts see it (TextFormat) and as the HTML subset sets it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/Geometry.h"

namespace lumen::text {

enum class Align : uint8_t { Left, Right, Center, Justify };

struct TextFormat {
  std::string font = "Times New Roman";
  float size = 12;  // pixels
  render::Rgba color{0, 0, 0, 255};
  bool bold = false, italic = false, underline = false;
  std::string url, target;
  // Paragraph formats: the first character of a paragraph decides them for the paragraph.
  Align align = Align::Left;
  float left_margin = 0, right_margin = 0, indent = 0, block_indent = 0, leading = 0;  // pixels
  bool bullet = false;
  float letter_spacing = 0;  // pixels
  bool kerning = false;

  friend bool operator==(const TextFormat&, const TextFormat&) = default;
};

struct FormatRun {
  size_t end = 0;  // the run covers characters from the previous run's end up to here
  TextFormat format;
};

// Paragraphs end at '\r' (the field's own line break) or '\n'.
struct FormattedText {
  std::u16string text;
  std::vector<FormatRun> runs;  // ascending ends; the last ends at text.size()

  // Appends characters in `format`, joining the last run when the format is the same.
  void Append(std::u16string_view chars, const TextFormat& format);
  // Replaces characters [begin, end) with `chars` in `format`.
  void Replace(size_t begin, size_t end, std::u16string_view chars, const TextFormat& format);
  // Changes the format of characters [begin, end), splitting runs at the ends.
  void Restyle(size_t begin, size_t end, const std::function<void(TextFormat&)>& change);
  // The format of character `index` (the last run's past the end).
  const TextFormat& FormatAt(size_t index) const;
  void Clear() {
    text.clear();
    runs.clear();
  }
};

inline bool IsLineBreak(char16_t c) {
  return c == u'\r' || c == u'\n';
}

}  // namespace lumen::text
