#pragma once

// A bitmap filter's settings, as scripts (flash.filters) and the stage (a clip's filter list)
// exchange them. One record for every kind; each kind reads the fields it has.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumen::avm1 {

class BitmapPixels;

struct FilterSettings {
  // Numbered as PlaceObject3's filter list numbers them.
  enum class Kind : uint8_t {
    DropShadow,
    Blur,
    Glow,
    Bevel,
    GradientGlow,
    Convolution,
    ColorMatrix,
    GradientBevel,
    DisplacementMap,
  };
  enum class Placement : uint8_t { Inner, Outer, Full };  // bevels' `type`
  enum class EdgeMode : uint8_t { Wrap, Clamp, Ignore, Color };

  Kind kind = Kind::Blur;
  double blur_x = 4, blur_y = 4;  // 0..255
  int quality = 1;                // 0..15
  double strength = 1;            // 0..255
  double distance = 4;
  double angle = 0.785398163;  // radians
  // Shadow, glow and convolution colour, or a bevel's highlight; alphas in 0..255.
  uint32_t color = 0;
  uint8_t alpha = 255;
  uint32_t shadow_color = 0;  // a bevel's shadow
  uint8_t shadow_alpha = 255;
  bool inner = false, knockout = false, hide_object = false;
  Placement placement = Placement::Inner;

  // Gradient glows and bevels: `stops` entries of each list are in use; the lists keep what is
  // beyond, as scripts see it come back when the count grows again.
  size_t stops = 0;
  std::vector<uint32_t> colors;
  std::vector<uint8_t> alphas;
  std::vector<uint8_t> ratios;

  std::vector<double> matrix;      // colour matrix (20) or convolution (any length)
  int matrix_x = 0, matrix_y = 0;  // convolution: 0..15
  double divisor = 1, bias = 0;
  bool preserve_alpha = true, clamp = true;

  std::shared_ptr<const BitmapPixels> map;  // displacement
  int32_t map_x = 0, map_y = 0;
  int32_t component_x = 0, component_y = 0;
  double scale_x = 0, scale_y = 0;  // -65535..65535
  EdgeMode mode = EdgeMode::Wrap;

  // The settings a script's `new` starts from.
  static FilterSettings Defaults(Kind kind);
};

}  // namespace lumen::avm1
