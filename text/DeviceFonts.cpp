#include "text/DeviceFonts.h"

#include <vector>

#include "text/TrueTypeFont.h"
#include "unicode/Ascii.h"

namespace lumen::text {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = unicode::AsciiLower(c);
  return out;
}

// The families tried for a name, in order: Windows' faces first, each followed by its metric
// twin from Liberation, which Wine and Linux systems often have instead. The system's default
// ends every list, so that some font is always found.
std::vector<std::string_view> Candidates(std::string_view name, std::string_view lower) {
  std::vector<std::string_view> out;
  if (lower == "_serif") {
    out = {"Times New Roman", "Liberation Serif"};
  } else if (lower == "_typewriter") {
    out = {"Courier New", "Liberation Mono"};
  } else if (lower != "_sans" && !lower.empty()) {
    out = {name};
  }
  for (std::string_view sans :
       {"Arial", "Liberation Sans", "Tahoma", "Verdana", "DejaVu Sans", ""}) {
    out.push_back(sans);
  }
  return out;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325;
  for (const uint8_t b : bytes) h = (h ^ b) * 0x100000001b3;
  return h;
}

}  // namespace

DeviceFonts::DeviceFonts(std::unique_ptr<FontFiles> files) : files_(std::move(files)) {}

const Font* DeviceFonts::Find(std::string_view name, bool bold, bool italic) {
  const std::string lower = Lower(name);
  std::string key = lower;
  key += bold ? "/b" : "/-";
  key += italic ? "i" : "-";
  if (const auto it = by_request_.find(key); it != by_request_.end()) return it->second;
  const Font* font = nullptr;
  for (const std::string_view family : Candidates(name, lower)) {
    font = Load(family, bold, italic);
    if (!font && (bold || italic)) font = Load(family, false, false);
    if (font) break;
  }
  by_request_.emplace(std::move(key), font);
  return font;
}

const Font* DeviceFonts::FindInstalled(std::string_view name, bool bold, bool italic) {
  if (name.empty() || name.front() == '_') return Find(name, bold, italic);
  std::string key = "=" + Lower(name);
  key += bold ? "/b" : "/-";
  key += italic ? "i" : "-";
  if (const auto it = by_request_.find(key); it != by_request_.end()) return it->second;
  const Font* font = Load(name, bold, italic);
  if (!font && (bold || italic)) font = Load(name, false, false);
  by_request_.emplace(std::move(key), font);
  return font;
}

const Font* DeviceFonts::Load(std::string_view family, bool bold, bool italic) {
  if (!files_) return nullptr;
  auto bytes = files_->Load(family, bold, italic);
  if (!bytes) return nullptr;
  const std::pair<size_t, uint64_t> key{bytes->size(), Fnv1a(*bytes)};
  auto it = by_file_.find(key);
  if (it == by_file_.end()) {
    std::unique_ptr<const Font> font;
    if (auto made = FontFromTrueType(std::move(bytes))) {
      font = std::make_unique<const Font>(std::move(*made));
    }
    it = by_file_.emplace(key, std::move(font)).first;
  }
  return it->second.get();
}

}  // namespace lumen::text
