#pragma once

#include <cstdint>
#include <filesystem>

#include "stream/Stream.h"

namespace lumen {

enum class FileMode {
  ReadExclusive,  // read access, shared with nobody; the file must exist
  ReadShared,     // read access, other openers denied nothing; the file must exist
  Create,         // write access; creates the file or empties an existing one
};

// A stream over an operating-system file. Opening fails with
// "Cannot open file "<full path>". <system message>" (or "Cannot create file ...").
class FileStream final : public Stream {
 public:
  FileStream(const std::filesystem::path& path, FileMode mode);
  ~FileStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

 private:
  intptr_t handle_;
};

// The text a user sees for a path: absolute, UTF-8.
std::string DisplayPath(const std::filesystem::path& path);

}  // namespace lumen
