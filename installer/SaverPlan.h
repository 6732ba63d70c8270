#pragma once

// What the screen-saver installer decides, kept apart from the calls into Windows: the installed
// file's name and place, the control panel's parameter text, and which systems get the
// compatibility-assistant value. Paths live in 260-character buffers in the system's interfaces,
// so every path handed out here is checked to fit one, terminator included.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumen::installer {

inline constexpr std::size_t kPathBufferChars = 260;

// The installed screen saver's file name from the installer's full path: the last path
// component, cut after its first dot and ended with "scr" (MyShow.exe gives MyShow.scr,
// My.Show.2.exe gives My.scr); a name without a dot stays as it is.
std::wstring SaverFileName(std::wstring_view module_path);

// True when the system version (low byte major, next byte minor) is 6.1 or a later minor
// release of a major version 6 or above; 6.0 and x.0 releases are left alone.
bool RecordsCompatibility(std::uint32_t system_version);

struct InstallPaths {
  std::wstring target;      // Windows folder, "/", file name: where the bytes are written
  std::wstring shell_path;  // the target with backslashes, as the control panel gets it
  std::wstring parameters;  // rundll32's parameters: "desk.cpl, InstallScreenSaver " + shell path
};

// Empty when the installer's path, the target path or the parameter text would not fit a
// 260-character buffer with its terminator.
std::optional<InstallPaths> PlanInstall(std::wstring_view windows_folder,
                                        std::wstring_view module_path);

}  // namespace lumen::installer
