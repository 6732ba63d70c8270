// Font tags are read through the shape reader: a glyph is a SHAPE without style tables whose
// edges select fill style 1, so the shape builder turns it into closed contours like any shape.
// Glyphs are cut out of the tag by their offsets, and each one is read by a reader that cannot
// leave its slice; damage in one glyph empties that glyph only.

#include "text/Font.h"

#include <algorithm>

#include "movie/ByteReader.h"
#include "movie/ShapeBuilder.h"
#include "movie/ShapeData.h"

namespace lumen::text {

namespace {

constexpr uint16_t kDefineFont = 10;
constexpr uint16_t kDefineFont3 = 75;
constexpr uint16_t kDefineFontInfo2 = 62;
// The edges one font may hold, over all its glyphs: a glyph of a million edges still fits.
constexpr size_t kMaxFontRecords = size_t{2} << 20;

struct GlyphReader {
  size_t records = 0;

  render::Path Read(std::span<const uint8_t> bytes) {
    movie::ShapeData shape;
    shape.tables.emplace_back();
    shape.tables[0].fills.emplace_back();
    try {
      movie::ByteReader in(bytes);
      movie::ReadShapeRecords(in, 0, {}, shape.tables, shape.records);
    } catch (const movie::ParseError&) {
      return {};
    }
    records += shape.records.size();
    if (records > kMaxFontRecords) return {};
    render::Path outline;
    for (render::ShapePart& part : movie::BuildGeometry(shape).parts) {
      if (part.kind != render::ShapePart::Kind::Fill) continue;
      outline.verbs.insert(outline.verbs.end(), part.path.verbs.begin(), part.path.verbs.end());
      outline.points.insert(outline.points.end(), part.path.points.begin(), part.path.points.end());
    }
    return outline;
  }
};

std::string ReadName(movie::ByteReader& in) {
  const auto bytes = in.Take(in.U8());
  std::string name(bytes.begin(), bytes.end());
  while (!name.empty() && name.back() == '\0') name.pop_back();
  return name;
}

// Glyph i spans offsets[i] to offsets[i + 1] (the last one up to `end`), all from `table`.
void ReadGlyphs(std::span<const uint8_t> table, const std::vector<uint32_t>& offsets, size_t end,
                Font& font) {
  GlyphReader reader;
  end = std::min(end, table.size());
  font.glyphs.resize(offsets.size());
  for (size_t i = 0; i < offsets.size(); ++i) {
    const size_t from = offsets[i];
    const size_t to = i + 1 < offsets.size() ? std::min<size_t>(offsets[i + 1], end) : end;
    if (from < to) font.glyphs[i].outline = reader.Read(table.subspan(from, to - from));
  }
}

Font ReadDefineFont(movie::ByteReader& in) {
  Font font;
  const auto table = in.Rest();
  movie::ByteReader offsets_in(table);
  const uint16_t first = table.size() >= 2 ? offsets_in.U16() : 0;
  std::vector<uint32_t> offsets;
  if (first >= 2) {
    offsets.push_back(first);
    for (size_t i = 1; i < first / 2u; ++i) offsets.push_back(offsets_in.U16());
  }
  ReadGlyphs(table, offsets, table.size(), font);
  return font;
}

void ReadLayout(movie::ByteReader& in, bool wide_codes, Font& font) {
  font.ascent = in.U16();
  font.descent = in.U16();
  font.leading = in.S16();
  // Advances are read unsigned: a glyph wider than 32767 units moves on, never back.
  for (Glyph& glyph : font.glyphs) glyph.advance = in.U16();
  font.has_layout = true;
  // Old files leave out the bounds and kerning that follow.
  for (size_t i = 0; i < font.glyphs.size() && in.Remaining() > 0; ++i) movie::ReadRect(in);
  if (in.Remaining() < 2) return;
  const uint16_t kernings = in.U16();
  for (uint16_t i = 0; i < kernings && in.Remaining() > 0; ++i) {
    const uint16_t left = wide_codes ? in.U16() : in.U8();
    const uint16_t right = wide_codes ? in.U16() : in.U8();
    font.AddKerning(left, right, in.S16());
  }
}

Font ReadDefineFont2(movie::ByteReader& in, bool version3) {
  Font font;
  const uint8_t flags = in.U8();
  in.U8();  // language
  font.name = ReadName(in);
  font.bold = flags & 0x01;
  font.italic = flags & 0x02;
  // The flag decides, in DefineFont3 too, which should always set it.
  const bool wide_codes = flags & 0x04;
  const bool wide_offsets = flags & 0x08;
  const bool has_layout = flags & 0x80;
  font.units_per_em = version3 ? 20480 : 1024;
  const uint16_t count = in.U16();
  const auto table = in.Rest();
  movie::ByteReader head(table);
  auto offset = [&] { return wide_offsets ? head.U32() : head.U16(); };
  std::vector<uint32_t> offsets(count);
  for (uint32_t& o : offsets) o = offset();
  const size_t code_table = count > 0 || head.Remaining() > 0 ? offset() : head.Position();
  ReadGlyphs(table, offsets, code_table, font);
  if (code_table > table.size()) return font;
  movie::ByteReader rest(table.subspan(code_table));
  for (Glyph& glyph : font.glyphs) glyph.code = wide_codes ? rest.U16() : rest.U8();
  font.IndexCodes();
  if (has_layout) {
    try {
      ReadLayout(rest, wide_codes, font);
    } catch (const movie::ParseError&) {
      // A cut layout keeps what it gave.
    }
  }
  return font;
}

}  // namespace

int Font::GlyphFor(uint16_t code) const {
  const auto it = by_code_.find(code);
  return it == by_code_.end() ? -1 : it->second;
}

const Glyph* Font::Find(uint16_t code) const {
  if (const int index = GlyphFor(code); index >= 0) return &glyphs[static_cast<size_t>(index)];
  if (!loader) return nullptr;
  auto it = loaded_.find(code);
  if (it == loaded_.end()) {
    std::unique_ptr<const Glyph> glyph;
    if (auto read = loader->Load(code)) glyph = std::make_unique<const Glyph>(std::move(*read));
    it = loaded_.emplace(code, std::move(glyph)).first;
  }
  return it->second.get();
}

float Font::Kerning(uint16_t left, uint16_t right) const {
  if (loader) return loader->Kerning(left, right);
  if (kerning_.empty()) return 0;
  const auto it = kerning_.find(uint32_t{left} << 16 | right);
  return it == kerning_.end() ? 0 : it->second;
}

void Font::IndexCodes() {
  by_code_.clear();
  for (size_t i = 0; i < glyphs.size(); ++i) {
    by_code_.try_emplace(glyphs[i].code, static_cast<uint16_t>(i));
  }
}

void Font::AddKerning(uint16_t left, uint16_t right, float adjust) {
  kerning_[uint32_t{left} << 16 | right] = adjust;
}

std::optional<uint16_t> FontIdOf(std::span<const uint8_t> body) {
  if (body.size() < 2) return std::nullopt;
  return static_cast<uint16_t>(body[0] | body[1] << 8);
}

std::optional<Font> ReadFont(uint16_t tag, std::span<const uint8_t> body) {
  try {
    movie::ByteReader in(body, 0, tag);
    in.U16();  // id
    if (tag == kDefineFont) return ReadDefineFont(in);
    return ReadDefineFont2(in, tag == kDefineFont3);
  } catch (const movie::ParseError&) {
    return std::nullopt;
  }
}

bool ApplyFontInfo(uint16_t tag, std::span<const uint8_t> body, Font& font) {
  try {
    movie::ByteReader in(body, 0, tag);
    in.U16();  // id
    font.name = ReadName(in);
    const uint8_t flags = in.U8();
    if (tag == kDefineFontInfo2) in.U8();  // language
    font.bold = flags & 0x02;
    font.italic = flags & 0x04;
    const bool wide = flags & 0x01;
    for (Glyph& glyph : font.glyphs) {
      if (in.Remaining() < (wide ? 2u : 1u)) break;
      glyph.code = wide ? in.U16() : in.U8();
    }
    font.IndexCodes();
    return true;
  } catch (const movie::ParseError&) {
    return false;
  }
}

}  // namespace lumen::text
