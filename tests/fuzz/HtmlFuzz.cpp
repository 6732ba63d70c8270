// The HTML subset of text fields, its writing back, and line layout of what it gives, in a font
// that has a glyph of its own width for every character: any input must parse and lay out in
// bounded time and without fault.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "text/Html.h"
#include "text/TextLayout.h"

namespace {

using namespace lumen::text;

class AnyGlyph final : public GlyphLoader {
 public:
  std::optional<Glyph> Load(uint16_t code) override {
    Glyph g;
    g.code = code;
    g.advance = static_cast<float>(code % 13) * 100;
    g.outline.MoveTo({0, -800});
    g.outline.LineTo({g.advance, -800});
    g.outline.LineTo({0, 0});
    return g;
  }
  float Kerning(uint16_t left, uint16_t right) override { return left == right ? -50.0f : 0.0f; }
};

class OneFont final : public FontResolver {
 public:
  OneFont() {
    font_.units_per_em = 1024;
    font_.ascent = 900;
    font_.descent = 200;
    font_.has_layout = true;
    font_.loader = std::make_shared<AnyGlyph>();
  }
  const Font* Resolve(const TextFormat&) override { return &font_; }

 private:
  Font font_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view html(reinterpret_cast<const char*>(data), size);
  FormattedText text = ParseHtml(html, TextFormat{});
  (void)WriteHtml(text);
  if (!text.text.empty()) {
    text.Restyle(text.text.size() / 3, text.text.size() / 2,
                 [](TextFormat& f) { f.align = Align::Justify; });
    text.Replace(0, 1, u"x y", TextFormat{});
  }
  OneFont fonts;
  LayoutOptions options;
  options.width = static_cast<float>(size % 4000);
  options.word_wrap = size % 2 == 0;
  (void)LayOut(text, options, fonts);
  return 0;
}
