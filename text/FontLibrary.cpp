#include "text/FontLibrary.h"

#include "unicode/Ascii.h"

namespace lumen::text {

namespace {

constexpr uint16_t kDefineFontInfo = 13;
constexpr uint16_t kDefineFontInfo2 = 62;

}  // namespace

const Font* FontLibrary::ById(uint16_t id) {
  if (const auto it = fonts_.find(id); it != fonts_.end()) return it->second.get();
  std::unique_ptr<Font> font;
  const movie::Character* c = movie_.Find(id);
  if (c != nullptr && c->kind == movie::Character::Kind::Font) {
    if (auto read = ReadFont(c->tag, c->body)) font = std::make_unique<Font>(std::move(*read));
  }
  if (font) {
    for (const movie::OtherCommand& info : movie_.annotations) {
      if ((info.code == kDefineFontInfo || info.code == kDefineFontInfo2) &&
          FontIdOf(info.body) == id) {
        ApplyFontInfo(info.code, info.body, *font);
      }
    }
  }
  return fonts_.emplace(id, std::move(font)).first->second.get();
}

const Font* FontLibrary::ByName(std::string_view name, bool bold, bool italic) {
  // The lowest id wins among equals, so the choice does not depend on the map's order.
  const Font* best = nullptr;
  uint16_t best_id = 0;
  int best_score = -1;
  for (const auto& [id, c] : movie_.Characters()) {
    if (c.kind != movie::Character::Kind::Font) continue;
    const Font* font = ById(id);
    if (font == nullptr || font->glyphs.empty() || !unicode::SameAsciiLetters(font->name, name))
      continue;
    const int score = (font->bold == bold) + (font->italic == italic);
    if (score > best_score || (score == best_score && id < best_id)) {
      best = font;
      best_id = id;
      best_score = score;
    }
  }
  return best;
}

}  // namespace lumen::text
