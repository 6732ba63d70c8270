#include "installer/SaverPlan.h"

#include <algorithm>

namespace lumen::installer {
namespace {

constexpr std::wstring_view kParameterPrefix = L"desk.cpl, InstallScreenSaver ";

bool FitsBuffer(std::wstring_view text) {
  return text.size() < kPathBufferChars;
}

std::wstring Replaced(std::wstring text, wchar_t from, wchar_t to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

}  // namespace

std::wstring SaverFileName(std::wstring_view module_path) {
  // One scan from the end: every dot cuts the name after itself, so the first dot of the last
  // component wins; the first character is never looked at, as it cannot end a folder.
  std::wstring name(module_path);
  for (std::size_t i = name.size(); i > 1; --i) {
    const std::size_t at = i - 1;
    if (name[at] == L'.') {
      name.resize(at + 1);
      name += L"scr";
    } else if (name[at] == L'\\') {
      return name.substr(at + 1);
    }
  }
  return name;
}

bool RecordsCompatibility(std::uint32_t system_version) {
  const std::uint32_t major = system_version & 0xFF;
  const std::uint32_t minor = (system_version >> 8) & 0xFF;
  return major >= 6 && minor != 0;
}

std::optional<InstallPaths> PlanInstall(std::wstring_view windows_folder,
                                        std::wstring_view module_path) {
  if (!FitsBuffer(module_path)) return std::nullopt;
  InstallPaths paths;
  paths.target =
      Replaced(std::wstring(windows_folder), L'\\', L'/') + L"/" + SaverFileName(module_path);
  paths.shell_path = Replaced(paths.target, L'/', L'\\');
  paths.parameters = std::wstring(kParameterPrefix) + paths.shell_path;
  if (!FitsBuffer(paths.target) || !FitsBuffer(paths.parameters)) return std::nullopt;
  return paths;
}

}  // namespace lumen::installer
