#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "flash/StageLayout.h"

namespace lumen::flash {

// The control's stored settings, with the text forms its string properties use. Each pair of
// number and text properties (Quality/Quality2, ScaleMode/Scale, AlignMode/SAlign,
// BackgroundColor/BGColor) shares one value here, so the two always agree.
struct ControlSettings {
  enum class Quality : int32_t {
    Low = 0,
    High = 1,
    AutoLow = 2,
    AutoHigh = 3,
    Medium = 4,
    Best = 5
  };

  bool playing = true;
  bool loop = true;
  bool menu = true;
  bool device_font = false;
  bool embed_movie = false;
  Quality quality = Quality::High;
  ScaleMode scale = ScaleMode::ShowAll;
  int32_t align = 0;        // AlignBits; 0 centres
  int32_t background = -1;  // 0xRRGGBB, or -1 for the movie's own
  std::wstring wmode = L"Window";
  std::wstring base;
  std::wstring allow_networking = L"all";
};

// Text forms. Parsing is case-insensitive and answers nothing for an unknown text.
std::wstring_view QualityName(ControlSettings::Quality quality);
std::optional<ControlSettings::Quality> ParseQuality(std::wstring_view text);
std::wstring_view ScaleName(ScaleMode mode);
std::optional<ScaleMode> ParseScale(std::wstring_view text);
// "T", "B", "L", "R" and their pairs such as "TL"; any other letter is ignored.
int32_t ParseAlign(std::wstring_view text);
std::wstring AlignName(int32_t align);
// "#RRGGBB" (the "#" optional); answers nothing when the text is no such colour.
std::optional<int32_t> ParseColor(std::wstring_view text);
std::wstring ColorName(int32_t color);

}  // namespace lumen::flash
