#include "authoring/TextWriter.h"

#include <algorithm>

namespace lumen::authoring {

namespace {

constexpr uint16_t kTagDefineText = 11;
constexpr uint16_t kTagDefineText2 = 33;
constexpr uint16_t kTagDefineEditText = 37;
constexpr uint16_t kTagDefineFont3 = 75;

int UnsignedBitsFor(uint32_t max) {
  int bits = 0;
  while (bits < 32 && (max >> bits) != 0) ++bits;
  return bits;
}

}  // namespace

void DefineFont3(Bytes& out, const FontSpec& font) {
  std::vector<Bytes> shapes;
  for (const GlyphSpec& g : font.glyphs) shapes.push_back(g.outline.Records(1, 0));
  size_t shape_bytes = 0;
  for (const Bytes& s : shapes) shape_bytes += s.size();
  const size_t count = font.glyphs.size();
  const bool wide = (count + 1) * 2 + shape_bytes > 0xFFFF;
  const size_t entry = wide ? 4 : 2;
  BitWriter body;
  body.WriteU16(font.id);
  body.WriteU8(static_cast<uint8_t>(0x80 | (wide ? 0x08 : 0) | 0x04 | (font.italic ? 0x02 : 0) |
                                    (font.bold ? 0x01 : 0)));
  body.WriteU8(0);  // language
  body.WriteU8(static_cast<uint8_t>(font.name.size()));
  body.WriteBytes({reinterpret_cast<const uint8_t*>(font.name.data()), font.name.size()});
  body.WriteU16(static_cast<uint16_t>(count));
  auto write_offset = [&](size_t offset) {
    if (wide) {
      body.WriteU32(static_cast<uint32_t>(offset));
    } else {
      body.WriteU16(static_cast<uint16_t>(offset));
    }
  };
  size_t offset = (count + 1) * entry;
  for (const Bytes& s : shapes) {
    write_offset(offset);
    offset += s.size();
  }
  write_offset(offset);  // the code table
  for (const Bytes& s : shapes) body.WriteBytes(s);
  for (const GlyphSpec& g : font.glyphs) body.WriteU16(g.code);
  body.WriteU16(font.ascent);
  body.WriteU16(font.descent);
  body.WriteU16(static_cast<uint16_t>(font.leading));
  for (const GlyphSpec& g : font.glyphs) body.WriteU16(static_cast<uint16_t>(g.advance));
  for (size_t i = 0; i < count; ++i) WriteRect(body, 0, 0, 0, 0);
  body.WriteU16(0);  // kerning
  WriteTag(out, kTagDefineFont3, body.bytes(), true);
}

void DefineText(Bytes& out, uint16_t id, const MatrixSpec& matrix,
                const std::vector<TextRunSpec>& runs, bool alpha) {
  uint32_t max_index = 0;
  int32_t max_advance = 0;
  for (const TextRunSpec& run : runs) {
    for (const auto& [index, advance] : run.glyphs) {
      max_index = std::max(max_index, index);
      max_advance = std::max(max_advance, std::abs(advance));
    }
  }
  const int glyph_bits = std::max(1, UnsignedBitsFor(max_index));
  const int advance_bits = BitWriter::SignedBitsFor({max_advance, -max_advance});
  BitWriter body;
  body.WriteU16(id);
  WriteRect(body, 0, 0, 0, 0);
  WriteMatrix(body, matrix);
  body.WriteU8(static_cast<uint8_t>(glyph_bits));
  body.WriteU8(static_cast<uint8_t>(advance_bits));
  for (const TextRunSpec& run : runs) {
    body.WriteU8(static_cast<uint8_t>(0x80 | (run.font ? 0x08 : 0) | (run.color ? 0x04 : 0) |
                                      (run.y ? 0x02 : 0) | (run.x ? 0x01 : 0)));
    if (run.font) body.WriteU16(*run.font);
    if (run.color) WriteRgbOrRgba(body, *run.color, alpha);
    if (run.x) body.WriteU16(static_cast<uint16_t>(*run.x));
    if (run.y) body.WriteU16(static_cast<uint16_t>(*run.y));
    if (run.font) body.WriteU16(run.height);
    body.WriteU8(static_cast<uint8_t>(run.glyphs.size()));
    for (const auto& [index, advance] : run.glyphs) {
      body.WriteUnsigned(index, glyph_bits);
      body.WriteSigned(advance, advance_bits);
    }
    body.Align();
  }
  body.WriteU8(0);
  WriteTag(out, alpha ? kTagDefineText2 : kTagDefineText, body.bytes(), true);
}

void DefineEditText(Bytes& out, const EditTextSpec& field) {
  uint16_t flags = field.flags & ~(0x0001 | 0x0002 | 0x0004 | 0x0080 | 0x2000 | 0x8000);
  if (field.font) flags |= 0x0001;
  if (field.max_length) flags |= 0x0002;
  if (field.color) flags |= 0x0004;
  if (field.text) flags |= 0x0080;
  if (field.align) flags |= 0x2000;
  BitWriter body;
  body.WriteU16(field.id);
  WriteRect(body, field.x_min, field.x_max, field.y_min, field.y_max);
  body.WriteU16(flags);
  if (field.font) {
    body.WriteU16(*field.font);
    body.WriteU16(field.height);
  }
  if (field.color) WriteRgbOrRgba(body, *field.color, true);
  if (field.max_length) body.WriteU16(*field.max_length);
  if (field.align) {
    body.WriteU8(*field.align);
    body.WriteU16(field.left_margin);
    body.WriteU16(field.right_margin);
    body.WriteU16(static_cast<uint16_t>(field.indent));
    body.WriteU16(static_cast<uint16_t>(field.leading));
  }
  body.WriteString(field.variable);
  if (field.text) body.WriteString(*field.text);
  WriteTag(out, kTagDefineEditText, body.bytes(), true);
}

}  // namespace lumen::authoring
