#pragma once

// The folder a movie was loaded from, as scripts may read it: XML.load("photos.xml") and
// LoadVars.load("settings.txt") name files relative to the movie. Names that leave the folder
// (absolute paths, "..", drive letters or any URL scheme) are refused, and so are files larger
// than a script could hold.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lumen::stage {

class MovieFolder {
 public:
  static constexpr size_t kMaxFileBytes = size_t{16} << 20;

  // Told the name of each file a movie asked for that was not there.
  using MissingFile = std::function<void(std::string_view name)>;

  MovieFolder() = default;  // none: every read is refused
  explicit MovieFolder(std::filesystem::path folder, MissingFile missing = {})
      : folder_(std::move(folder)), missing_(std::move(missing)) {}

  // The file's bytes, or nothing where the name is refused or the file cannot be read.
  std::optional<std::string> Read(std::string_view name) const;
  // The path a name stands for inside the folder, or nothing where it is refused.
  std::optional<std::filesystem::path> Resolve(std::string_view name) const;

 private:
  std::filesystem::path folder_;
  MissingFile missing_;
};

}  // namespace lumen::stage
