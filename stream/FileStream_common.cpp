#include "stream/FileStream.h"

namespace lumen {

std::string DisplayPath(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::path full = std::filesystem::absolute(path, ignored);
  if (full.empty()) full = path;
  const std::u8string text = full.u8string();
  return {text.begin(), text.end()};
}

}  // namespace lumen
