#include <windows.h>

#include <string>

#include "tools/reelupgrade/SelfPath.h"

namespace lumen::tools {

std::filesystem::path SelfPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::filesystem::path(buffer.substr(0, length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace lumen::tools
