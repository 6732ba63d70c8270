// Design: a paragraph is measured first (font, advance and line metrics of each character, fonts
// resolved once per format run), then broken greedily: a line ends at the last space before the
// character that would cross the right edge, or before that character when the line has no
// space; spaces at a break stay on the line they end and do not count for its width. Lines are
// then aligned and their glyphs placed on the baseline.

#include "text/TextLayout.h"

#include <algorithm>
#include <cmath>

namespace lumen::text {

namespace {

constexpr float kTwipsPerPixel = 20;
constexpr size_t kNone = static_cast<size_t>(-1);

struct Measured {
  const Glyph* glyph = nullptr;
  float advance = 0;  // twips, letter spacing and kerning included
  float scale = 0;
  float ascent = 0, descent = 0;
  const TextFormat* format = nullptr;
};

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\u00A0';
}

class Layouter {
 public:
  Layouter(const FormattedText& text, const LayoutOptions& options, FontResolver& fonts,
           TextLayout& out)
      : text_(text), options_(options), fonts_(fonts), out_(out) {}

  void Run() {
    const std::u16string& t = text_.text;
    out_.char_x.assign(t.size() + 1, 0);
    size_t start = 0;
    for (;;) {
      size_t end = start;
      while (end < t.size() && !IsLineBreak(t[end])) ++end;
      Paragraph(start, end);
      if (end >= t.size()) break;
      start = end + 1;
    }
    if (!out_.lines.empty()) {
      const TextLine& last = out_.lines.back();
      // Leading counts between lines, and once under a single line.
      const float below = out_.lines.size() == 1 ? last.leading : 0;
      out_.text_height = last.top + last.ascent + last.descent + below;
    }
  }

 private:
  void Measure(size_t from, size_t to) {
    measured_.assign(to - from, {});
    const Font* font = nullptr;
    const TextFormat* format = nullptr;
    float scale = 0, ascent = 0, descent = 0;
    for (size_t i = from; i < to; ++i) {
      const TextFormat& f = text_.FormatAt(i);
      if (&f != format) {
        format = &f;
        font = fonts_.Resolve(f);
        Metrics(font, f, scale, ascent, descent);
      }
      Measured& m = measured_[i - from];
      m.format = format;
      m.scale = scale;
      m.ascent = ascent;
      m.descent = descent;
      const char16_t c = options_.password ? u'*' : text_.text[i];
      if (font != nullptr) m.glyph = font->Find(c);
      // Each glyph advances by whole twips (device fonts: whole pixels, as hinted system text
      // does), its kerning with the next one included.
      m.advance = (m.glyph ? Whole(m.glyph->advance * scale, *font) : 0) +
                  f.letter_spacing * kTwipsPerPixel;
      if (f.kerning && font != nullptr && i > from) Kern(from, i, *font);
    }
  }

  // The glyph before character `at`, of the same format, takes their kerning into its advance.
  void Kern(size_t from, size_t at, const Font& font) {
    Measured& before = measured_[at - from - 1];
    const Measured& m = measured_[at - from];
    if (before.format != m.format || before.glyph == nullptr) return;
    const char16_t previous = options_.password ? u'*' : text_.text[at - 1];
    const char16_t c = options_.password ? u'*' : text_.text[at];
    before.advance = Whole((before.glyph->advance + font.Kerning(previous, c)) * m.scale, font) +
                     m.format->letter_spacing * kTwipsPerPixel;
  }

  // An advance of `twips` rounded as the font's glyphs are placed.
  static float Whole(float twips, const Font& font) {
    return font.loader ? std::round(twips / kTwipsPerPixel) * kTwipsPerPixel : std::trunc(twips);
  }

  static void Metrics(const Font* font, const TextFormat& f, float& scale, float& ascent,
                      float& descent) {
    const float size = f.size * kTwipsPerPixel;
    if (font == nullptr || font->units_per_em <= 0) {
      scale = 0;
      ascent = size * 0.9f;
      descent = size * 0.2f;
      return;
    }
    scale = size / font->units_per_em;
    const bool known = font->has_layout && (font->ascent > 0 || font->descent > 0);
    // Line metrics are whole twips, as advances are.
    ascent = std::trunc(known ? font->ascent * scale : size * 0.9f);
    descent = std::trunc(known ? font->descent * scale : size * 0.2f);
  }

  void Paragraph(size_t from, size_t to) {
    Measure(from, to);
    const TextFormat& pf = text_.FormatAt(from);
    const float block = (pf.left_margin + pf.block_indent) * kTwipsPerPixel;
    const float right = pf.right_margin * kTwipsPerPixel;
    const float indent = pf.indent * kTwipsPerPixel;
    size_t line_start = from;
    bool first = true;
    float x = 0;
    size_t last_break = kNone;
    auto avail = [&] { return options_.width - block - right - (first ? indent : 0); };
    for (size_t i = from; i < to; ++i) {
      const Measured& m = measured_[i - from];
      const char16_t c = text_.text[i];
      if (options_.word_wrap && i > line_start && !IsSpace(c) && x + m.advance > avail()) {
        const size_t cut = last_break != kNone && last_break > line_start ? last_break : i;
        Line(from, line_start, cut, block + (first ? indent : 0), avail(), pf, false);
        first = false;
        line_start = cut;
        last_break = kNone;
        x = 0;
        for (size_t k = cut; k < i; ++k) x += measured_[k - from].advance;
      }
      x += m.advance;
      if (IsSpace(c)) last_break = i + 1;
    }
    Line(from, line_start, to, block + (first ? indent : 0), avail(), pf, true);
  }

  void Line(size_t paragraph, size_t from, size_t to, float x0, float avail, const TextFormat& pf,
            bool last_of_paragraph) {
    TextLine line;
    line.first_char = from;
    line.end_char = to;
    line.leading = pf.leading * kTwipsPerPixel;
    size_t ink_end = to;
    while (ink_end > from && IsSpace(text_.text[ink_end - 1])) --ink_end;
    size_t spaces = 0;
    for (size_t i = from; i < to; ++i) {
      const Measured& m = measured_[i - paragraph];
      line.ascent = std::max(line.ascent, m.ascent);
      line.descent = std::max(line.descent, m.descent);
      if (i < ink_end) {
        line.width += m.advance;
        spaces += IsSpace(text_.text[i]);
      }
    }
    if (from == to) EmptyLineMetrics(from, line);
    float offset = 0, stretch = 0;
    const float room = std::max(0.0f, avail - line.width);
    if (pf.align == Align::Right) offset = room;
    if (pf.align == Align::Center) offset = room / 2;
    if (pf.align == Align::Justify && !last_of_paragraph && spaces > 0) {
      stretch = room / static_cast<float>(spaces);
    }
    if (!out_.lines.empty()) {
      const TextLine& above = out_.lines.back();
      line.top = above.top + above.ascent + above.descent + above.leading;
    }
    line.left = x0 + offset;
    const float baseline = line.top + line.ascent;
    line.first_glyph = out_.glyphs.size();
    float x = line.left;
    for (size_t i = from; i < to; ++i) {
      const Measured& m = measured_[i - paragraph];
      out_.char_x[i] = x;
      if (m.glyph != nullptr && !m.glyph->outline.Empty()) {
        out_.glyphs.push_back({m.glyph, x, baseline, m.scale, m.format->color, i});
      }
      if (m.format->underline && i < ink_end) Underlined(x, m, baseline);
      x += m.advance;
      if (IsSpace(text_.text[i]) && i < ink_end) x += stretch;
    }
    line.end_glyph = out_.glyphs.size();
    out_.char_x[to] = x;  // the next line's first character, if any, moves it there
    line.width += stretch * static_cast<float>(spaces);
    out_.text_width = std::max(out_.text_width, line.width);
    out_.lines.push_back(line);
  }

  // A line without characters takes its height from the format at its place.
  void EmptyLineMetrics(size_t at, TextLine& line) {
    const TextFormat& f = text_.FormatAt(at);
    float scale = 0;
    Metrics(fonts_.Resolve(f), f, scale, line.ascent, line.descent);
  }

  void Underlined(float x, const Measured& m, float baseline) {
    const float thickness = std::max(kTwipsPerPixel, m.format->size);
    const render::Rect r{x, baseline + kTwipsPerPixel, x + m.advance,
                         baseline + kTwipsPerPixel + thickness};
    if (!out_.underlines.empty()) {
      Underline& last = out_.underlines.back();
      if (last.color == m.format->color && last.rect.x_max == x && last.rect.y_min == r.y_min) {
        last.rect.x_max = r.x_max;
        return;
      }
    }
    out_.underlines.push_back({r, m.format->color});
  }

  const FormattedText& text_;
  const LayoutOptions& options_;
  FontResolver& fonts_;
  TextLayout& out_;
  std::vector<Measured> measured_;
};

}  // namespace

TextLayout LayOut(const FormattedText& text, const LayoutOptions& options, FontResolver& fonts) {
  TextLayout out;
  Layouter(text, options, fonts, out).Run();
  return out;
}

}  // namespace lumen::text
