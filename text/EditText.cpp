#include "text/EditText.h"

#include "movie/ByteReader.h"
#include "unicode/Utf.h"

namespace lumen::text {

namespace {

std::string MovieString(movie::ByteReader& in, uint8_t version) {
  if (in.Remaining() == 0) return {};
  std::string s = in.String();
  return version >= 6 ? s : unicode::Latin1ToUtf8(s);
}

}  // namespace

std::optional<EditTextDef> ReadEditText(std::span<const uint8_t> body, uint8_t version) {
  EditTextDef def;
  movie::ByteReader in(body);
  try {
    in.U16();  // id
    def.bounds = movie::ReadRect(in);
    def.flags = in.U16();
    if (def.Has(kHasFont)) def.font_id = in.U16();
    if (def.Has(kHasFontClass)) def.font_class = in.String();
    if (def.Has(kHasFont) || def.Has(kHasFontClass)) def.height = in.U16();
    if (def.Has(kHasTextColor)) def.color = movie::ReadRgba(in);
    if (def.Has(kHasMaxLength)) def.max_length = in.U16();
    if (def.Has(kHasLayout)) {
      const uint8_t align = in.U8();
      def.align = align <= 3 ? static_cast<Align>(align) : Align::Left;
      def.left_margin = in.U16();
      def.right_margin = in.U16();
      def.indent = in.S16();
      def.leading = in.S16();
    }
  } catch (const movie::ParseError&) {
    return std::nullopt;
  }
  // Tools cut the strings short at times: what is there still counts.
  try {
    def.variable = MovieString(in, version);
    if (def.Has(kHasText)) def.initial_text = MovieString(in, version);
  } catch (const movie::ParseError&) {
  }
  return def;
}

}  // namespace lumen::text
