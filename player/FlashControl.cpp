#include "player/FlashControl.h"

namespace lumen::player {

TFlashControl::TFlashControl(HWND parent) : TOleControl(parent, flash::kClsidShockwaveFlash) {
  // Empty settings (SAlign, BGColor, Movie) are the control's defaults and are not put.
  SetBoolProperty(kDispPlaying, true);
  SetBoolProperty(kDispLoop, true);
  SetBoolProperty(kDispMenu, true);
  SetStringProperty(kDispQuality2, L"High");
  SetStringProperty(kDispWMode, L"Window");
  SetStringProperty(kDispScale, L"ShowAll");
  SetStringProperty(kDispAllowNetworking, L"all");
}

}  // namespace lumen::player
