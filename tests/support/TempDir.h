#pragma once

#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace lumen::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Write(const std::string& name, std::span<const uint8_t> bytes) const;

 private:
  std::filesystem::path path_;
};

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file);

}  // namespace lumen::testing
