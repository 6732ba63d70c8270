#pragma once

// Device fonts: text whose font the movie does not embed is drawn with the installed font of that
// name, or a stand-in for it. "_sans", "_serif" and "_typewriter" are the player's generic names.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "text/Font.h"

namespace lumen::text {

// Where the installed fonts' files come from.
class FontFiles {
 public:
  virtual ~FontFiles() = default;
  // The file bytes of the installed font for a family and style, or null. An empty family asks
  // for the system's default font, which any system with a font installed gives.
  virtual std::shared_ptr<const std::vector<uint8_t>> Load(std::string_view family, bool bold,
                                                           bool italic) = 0;
};

// The platform's: GDI's fonts on Windows, Debian's Liberation and DejaVu files elsewhere.
std::unique_ptr<FontFiles> SystemFontFiles();

// Makes the font files each movie of a stage draws its device text from; empty: the system's.
using FontFilesSource = std::function<std::unique_ptr<FontFiles>()>;

// One per stage: fonts are read on first use and kept for its life.
class DeviceFonts {
 public:
  explicit DeviceFonts(std::unique_ptr<FontFiles> files = SystemFontFiles());
  DeviceFonts(const DeviceFonts&) = delete;
  DeviceFonts& operator=(const DeviceFonts&) = delete;

  // The font for text naming `name` (case-insensitive): that family in the style asked for, else
  // its regular style, else a stand-in. Null only when no font is installed at all.
  const Font* Find(std::string_view name, bool bold, bool italic);
  // The installed family of that name itself (any style of it), or null: no stand-in.
  const Font* FindInstalled(std::string_view name, bool bold, bool italic);

 private:
  const Font* Load(std::string_view family, bool bold, bool italic);

  std::unique_ptr<FontFiles> files_;
  // By the file's size and content hash: Windows hands fonts over as bytes, without a path, and
  // several names lead to one file. Null: the file is not a font we can read.
  std::map<std::pair<size_t, uint64_t>, std::unique_ptr<const Font>> by_file_;
  std::unordered_map<std::string, const Font*> by_request_;
};

}  // namespace lumen::text
