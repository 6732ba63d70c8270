#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "flash/ControlSettings.h"

namespace lumen::flash {

// The commands of the control's right-click menu.
enum class MenuCommand : uint16_t {
  None = 0,
  ZoomIn = 100,
  ZoomOut,
  ShowAll,
  QualityLow,
  QualityMedium,
  QualityHigh,
  Play,
  Loop,
  Rewind,
  Forward,
  Back,
  About,
};

// What the menu shows depends on.
struct MenuState {
  bool full = true;  // the Menu setting; without it only the closing items remain
  uint32_t frame_count = 0;
  uint32_t frame = 0;  // from 0
  bool playing = false;
  bool loop = false;
  bool zoomed = false;
  ControlSettings::Quality quality = ControlSettings::Quality::High;
};

struct MenuItem {
  MenuCommand command = MenuCommand::None;  // None: a separator
  std::wstring_view text;
  bool enabled = true;
  bool checked = false;
};

// The menu's items, top to bottom. Frame-stepping items are left out for a movie of one frame.
std::vector<MenuItem> ControlMenuItems(const MenuState& state);

}  // namespace lumen::flash
