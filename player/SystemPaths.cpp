#include "player/SystemPaths.h"

#include <stdexcept>

#include "player/PlayerNames.h"
#include "stream/SystemMessage.h"

namespace lumen::player {

std::wstring ModuleFileName(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) throw std::runtime_error(SystemMessage(GetLastError()));
    // A full buffer means the name may have been cut: try again with more room.
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring GetTempFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = GetTempPathW(MAX_PATH, buffer.data());
  // Too small a buffer makes GetTempPathW answer the size it needs, terminator included.
  while (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (length == 0) {
    throw std::runtime_error("Cannot find the temporary folder. " + SystemMessage(GetLastError()));
  }
  buffer.resize(length);
  return WithTrailingBackslash(std::move(buffer));
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace lumen::player
