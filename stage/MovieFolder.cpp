#include "stage/MovieFolder.h"

#include <fstream>
#include <system_error>

namespace lumen::stage {

std::optional<std::filesystem::path> MovieFolder::Resolve(std::string_view name) const {
  if (folder_.empty()) return std::nullopt;
  // A query or fragment does not name a file.
  name = name.substr(0, name.find_first_of("?#"));
  // A colon is a scheme ("http:", "file:") or a drive ("C:"): both reach outside the folder.
  if (name.empty() || name.find(':') != std::string_view::npos) return std::nullopt;
  if (name.front() == '/' || name.front() == '\\') return std::nullopt;
  std::filesystem::path path = folder_;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") path /= std::string(part);
    start = end + 1;
  }
  if (path == folder_) return std::nullopt;
  return path;
}

std::optional<std::string> MovieFolder::Read(std::string_view name) const {
  const std::optional<std::filesystem::path> path = Resolve(name);
  if (!path) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*path, error)) {
    if (missing_) missing_(name);
    return std::nullopt;
  }
  const uintmax_t size = std::filesystem::file_size(*path, error);
  if (error || size > kMaxFileBytes) return std::nullopt;
  std::ifstream in(*path, std::ios::binary);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return std::nullopt;
  return bytes;
}

}  // namespace lumen::stage
