#include "stage/TextShapes.h"

#include <algorithm>

#include "stage/FieldHandle.h"
#include "text/EditText.h"
#include "text/StaticText.h"
#include "text/TextLayout.h"
#include "unicode/Utf.h"

namespace lumen::stage {

const render::ShapeGeometry* TextShapes::StaticText(const movie::Character& c) {
  if (c.kind != movie::Character::Kind::Text || IsField(c)) return nullptr;
  auto it = static_texts_.find(&c);
  if (it == static_texts_.end()) {
    auto geometry =
        std::make_unique<render::ShapeGeometry>(text::BuildStaticText(c.tag, c.body, fonts_));
    // Like a shape, the text measures by the bounds its tag declares.
    const render::Rect declared = text::StaticTextBounds(c.tag, c.body);
    if (declared.x_max > declared.x_min || declared.y_max > declared.y_min) {
      geometry->bounds = declared;
    }
    it = static_texts_.emplace(&c, std::move(geometry)).first;
  }
  return it->second.get();
}

std::unique_ptr<text::TextField> TextShapes::MakeField(const movie::Character& c) {
  if (c.kind != movie::Character::Kind::Text || !IsField(c)) return nullptr;
  const auto def = text::ReadEditText(c.body, movie_.version);
  if (!def) return nullptr;
  return MakeField(*def);
}

std::unique_ptr<text::TextField> TextShapes::MakeField(const text::EditTextDef& def) {
  // A font the system lacks but the movie embeds by that name stands in for itself.
  return std::make_unique<text::TextField>(def, fonts_, [this](const text::TextFormat& f) {
    if (const text::Font* font = device_fonts_.FindInstalled(f.font, f.bold, f.italic)) return font;
    if (const text::Font* font = fonts_.ByName(f.font, f.bold, f.italic)) return font;
    return device_fonts_.Find(f.font, f.bold, f.italic);
  });
}

avm1::TextExtent TextShapes::Measure(const avm1::FormatValues& values, std::string_view utf8,
                                     double width) {
  // The device font the format names; an embedded font of that name where there is none.
  class Fonts final : public text::FontResolver {
   public:
    explicit Fonts(TextShapes& shapes) : shapes_(shapes) {}
    const text::Font* Resolve(const text::TextFormat& f) override {
      if (const text::Font* font = shapes_.fonts_.ByName(f.font, f.bold, f.italic)) return font;
      return shapes_.device_fonts_.Find(f.font, f.bold, f.italic);
    }

   private:
    TextShapes& shapes_;
  } fonts(*this);
  text::TextFormat format;
  ApplyFormat(values, format);
  text::FormattedText content;
  content.Append(unicode::ToUtf16(utf8), format);
  text::LayoutOptions options;
  options.word_wrap = width > 0;
  options.width = static_cast<float>(std::min(width, 1e6) * 20);
  const text::TextLayout layout = text::LayOut(content, options, fonts);
  avm1::TextExtent extent;
  extent.width = layout.text_width / 20.0;
  extent.height = layout.text_height / 20.0;
  if (!layout.lines.empty()) {
    extent.ascent = layout.lines.front().ascent / 20.0;
    extent.descent = layout.lines.front().descent / 20.0;
  }
  return extent;
}

}  // namespace lumen::stage
