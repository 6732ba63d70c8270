#pragma once

#include <cstdint>
#include <string_view>

namespace lumen::scrnsave {

enum class SaverMode { FullScreen, Preview, Configure, ChangePassword, Invalid };

// Whose window a dialog belongs to: none, the foreground window, or the window the command names
// (which falls back to the foreground window when it names no window).
enum class Owner { None, Foreground, Given };

struct SaverCommand {
  SaverMode mode = SaverMode::Invalid;
  Owner owner = Owner::None;
  // The decimal window handle of the command; 0 when it gives none or one out of range.
  uint32_t window = 0;

  bool operator==(const SaverCommand&) const = default;
};

// Reads the command line after the program name: spaces, "-" and "/" are skipped and the first
// other character chooses the mode, in either case: "S" full screen; "P" or "L" preview inside the
// window whose handle follows (after optional spaces); "C" configure, owned by the window given
// after ":" or else by the foreground window; "A" password change, owned like "C" but with the
// handle after optional spaces; nothing at all configures with no owner.
SaverCommand ParseCommandLine(std::wstring_view arguments);

}  // namespace lumen::scrnsave
