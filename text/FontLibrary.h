#pragma once

// The fonts a movie embeds, read on first use and kept for the stage's life. Font info tags that
// name a font and give its code table are applied as the font is read.

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "movie/Movie.h"
#include "text/Font.h"

namespace lumen::text {

class FontLibrary {
 public:
  explicit FontLibrary(const movie::Movie& movie) : movie_(movie) {}
  FontLibrary(const FontLibrary&) = delete;
  FontLibrary& operator=(const FontLibrary&) = delete;

  // The embedded font with this id, or null when there is none or it does not parse.
  const Font* ById(uint16_t id);
  // An embedded font of that name (case-insensitive), preferring the given style; null if none.
  const Font* ByName(std::string_view name, bool bold, bool italic);

 private:
  const movie::Movie& movie_;
  std::unordered_map<uint16_t, std::unique_ptr<const Font>> fonts_;  // null: tried, unusable
};

}  // namespace lumen::text
