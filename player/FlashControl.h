#pragma once

#include <string>

#include "flash/ClassTable.h"
#include "player/OleControl.h"

namespace lumen::player {

// Dispatch ids of the movie control's properties that the player uses.
enum FlashDispId : DISPID {
  kDispLoop = 0x6A,
  kDispMovie = 0x66,
  kDispPlaying = 0x7D,
  kDispWMode = 0x85,
  kDispMenu = 0x87,
  kDispScale = 0x89,
  kDispQuality2 = 0x8D,
  kDispAllowNetworking = 0xC9,
};

// The movie control as the player's window lays it out: created by class ID with the player's saved
// settings (playing, looping, menu on, high quality, windowed, show all), its Movie property by
// DISPID.
class TFlashControl : public TOleControl {
 public:
  explicit TFlashControl(HWND parent);

  std::wstring Movie() { return GetStringProperty(kDispMovie); }
  void SetMovie(const std::wstring& path) { SetStringProperty(kDispMovie, path); }
};

}  // namespace lumen::player
