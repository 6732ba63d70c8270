#include "stage/TextShapes.h"

#include "text/EditText.h"
#include "text/StaticText.h"

namespace lumen::stage {

const render::ShapeGeometry* TextShapes::StaticText(const movie::Character& c, uint16_t id) {
  if (c.kind != movie::Character::Kind::Text || IsField(c)) return nullptr;
  auto it = static_texts_.find(id);
  if (it == static_texts_.end()) {
    auto geometry =
        std::make_unique<const render::ShapeGeometry>(text::BuildStaticText(c.tag, c.body, fonts_));
    it = static_texts_.emplace(id, std::move(geometry)).first;
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
  return std::make_unique<text::TextField>(def, fonts_, [this](const text::TextFormat& f) {
    return device_fonts_.Find(f.font, f.bold, f.italic);
  });
}

}  // namespace lumen::stage
