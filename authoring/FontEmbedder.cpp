#include "authoring/FontEmbedder.h"

#include <cmath>
#include <fstream>
#include <iterator>

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

namespace lumen::authoring {

namespace {

constexpr double kEm = 20480;

// One glyph's outline, y down, in DefineFont3 units.
void Outline(const stbtt_fontinfo& info, int glyph, double scale, ShapeWriter& out) {
  stbtt_vertex* vertices = nullptr;
  const int count = stbtt_GetGlyphShape(&info, glyph, &vertices);
  auto x = [&](int v) { return static_cast<int32_t>(std::lround(v * scale)); };
  auto y = [&](int v) { return static_cast<int32_t>(std::lround(-v * scale)); };
  out.Select(0, 1);
  for (int i = 0; i < count; ++i) {
    const stbtt_vertex& v = vertices[i];
    if (v.type == STBTT_vmove) {
      out.MoveTo(x(v.x), y(v.y));
    } else if (v.type == STBTT_vcurve) {
      out.CurveTo(x(v.cx), y(v.cy), x(v.x), y(v.y));
    } else {
      out.LineTo(x(v.x), y(v.y));  // lines; the font is TrueType, so there are no cubics
    }
  }
  stbtt_FreeShape(&info, vertices);
}

}  // namespace

std::optional<EmbeddedFont> EmbeddedFont::FromTrueType(std::span<const uint8_t> file,
                                                       std::string_view chars, uint16_t id,
                                                       std::string name) {
  stbtt_fontinfo info;
  if (file.size() < 12 || !stbtt_InitFont(&info, file.data(), 0)) return std::nullopt;
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
  const double scale = kEm * stbtt_ScaleForMappingEmToPixels(&info, 1);  // per font unit
  EmbeddedFont font;
  font.spec_.id = id;
  font.spec_.name = std::move(name);
  font.spec_.ascent = static_cast<uint16_t>(std::lround(ascent * scale));
  font.spec_.descent = static_cast<uint16_t>(std::lround(-descent * scale));
  font.spec_.leading = static_cast<int16_t>(std::lround(gap * scale));
  std::vector<int> glyphs;
  for (const char c : chars) {
    if (font.Index(c) >= 0) continue;
    const int glyph = stbtt_FindGlyphIndex(&info, static_cast<unsigned char>(c));
    if (glyph == 0 && c != ' ') continue;
    GlyphSpec spec;
    spec.code = static_cast<uint8_t>(c);
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(&info, glyph, &advance, &bearing);
    spec.advance = static_cast<int16_t>(std::lround(advance * scale));
    Outline(info, glyph, scale, spec.outline);
    font.spec_.glyphs.push_back(std::move(spec));
    glyphs.push_back(glyph);
  }
  font.kerning_.assign(glyphs.size(), std::vector<int16_t>(glyphs.size()));
  for (size_t a = 0; a < glyphs.size(); ++a) {
    for (size_t b = 0; b < glyphs.size(); ++b) {
      font.kerning_[a][b] = static_cast<int16_t>(
          std::lround(stbtt_GetGlyphKernAdvance(&info, glyphs[a], glyphs[b]) * scale));
    }
  }
  return font;
}

int EmbeddedFont::Index(char c) const {
  for (size_t i = 0; i < spec_.glyphs.size(); ++i) {
    if (spec_.glyphs[i].code == static_cast<uint8_t>(c)) return static_cast<int>(i);
  }
  return -1;
}

int32_t EmbeddedFont::Advance(size_t index, char next, uint16_t height) const {
  int32_t units = spec_.glyphs[index].advance;
  if (const int n = Index(next); n >= 0) units += kerning_[index][static_cast<size_t>(n)];
  return static_cast<int32_t>(std::lround(units * height / kEm));
}

TextRunSpec EmbeddedFont::Run(std::string_view text, uint16_t height, Color color, int16_t x,
                              int16_t y) const {
  TextRunSpec run;
  run.font = spec_.id;
  run.height = height;
  run.color = color;
  run.x = x;
  run.y = y;
  for (size_t i = 0; i < text.size(); ++i) {
    const int index = Index(text[i]);
    if (index < 0) continue;
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    run.glyphs.emplace_back(static_cast<uint32_t>(index),
                            Advance(static_cast<size_t>(index), next, height));
  }
  return run;
}

int32_t EmbeddedFont::Width(std::string_view text, uint16_t height) const {
  int32_t width = 0;
  for (const auto& [index, advance] : Run(text, height, {}, 0, 0).glyphs) width += advance;
  return width;
}

std::vector<uint8_t> ReadCaptionFont() {
#if defined(_WIN32)
  // Under Wine the host's files are on drive Z:.
  const char* path = "Z:/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
#else
  const char* path = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
#endif
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace lumen::authoring
