#include "text/StaticText.h"

#include "movie/ByteReader.h"
#include "text/GlyphPainter.h"

namespace lumen::text {

namespace {

constexpr uint16_t kDefineText2 = 33;

// What text records carry over from one to the next.
struct RecordState {
  const Font* font = nullptr;
  render::Rgba color{0, 0, 0, 255};
  float x = 0, y = 0;
  float height = 0;
};

void ReadRecordHead(movie::ByteReader& in, uint8_t flags, bool alpha, FontLibrary& fonts,
                    RecordState& state) {
  if (flags & 0x08) state.font = fonts.ById(in.U16());
  if (flags & 0x04) state.color = alpha ? movie::ReadRgba(in) : movie::ReadRgb(in);
  if (flags & 0x01) state.x = in.S16();
  if (flags & 0x02) state.y = in.S16();
  if (flags & 0x08) state.height = in.U16();
}

}  // namespace

render::ShapeGeometry BuildStaticText(uint16_t tag, std::span<const uint8_t> body,
                                      FontLibrary& fonts) {
  GlyphPainter painter;
  try {
    movie::ByteReader in(body, 0, tag);
    in.U16();  // id
    movie::ReadRect(in);
    const render::Matrix text_matrix = movie::ReadMatrix(in);
    const int glyph_bits = in.U8();
    const int advance_bits = in.U8();
    if (glyph_bits > 32 || advance_bits > 32) return painter.Take();
    RecordState state;
    for (;;) {
      const uint8_t flags = in.U8();
      if (flags == 0) break;
      ReadRecordHead(in, flags, tag == kDefineText2, fonts, state);
      const int count = in.U8();
      const float scale = state.font ? state.height / state.font->units_per_em : 0;
      for (int i = 0; i < count; ++i) {
        const uint32_t index = in.Bits(glyph_bits);
        const int32_t advance = in.SignedBits(advance_bits);
        if (state.font != nullptr && index < state.font->glyphs.size()) {
          const render::Matrix m =
              text_matrix * render::Matrix{scale, 0, 0, scale, state.x, state.y};
          painter.Glyph(state.font->glyphs[index], state.color, m);
        }
        state.x += static_cast<float>(advance);
      }
      in.Align();
    }
  } catch (const movie::ParseError&) {
    // The records read so far still show.
  }
  return painter.Take();
}

render::Rect StaticTextBounds(uint16_t tag, std::span<const uint8_t> body) {
  try {
    movie::ByteReader in(body, 0, tag);
    in.U16();  // id
    return movie::ReadRect(in);
  } catch (const movie::ParseError&) {
    return {};
  }
}

}  // namespace lumen::text
