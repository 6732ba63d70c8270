#include "render/Viewport.h"

#include <algorithm>
#include <cmath>

namespace lumen::render {

namespace {

constexpr float kTwipsPerPixel = 20;

// Offset of content `size` pixels long in a window `room` pixels long.
float AlignOffset(float room, float size, bool to_start, bool to_end) {
  if (to_start) return 0;
  if (to_end) return room - size;
  return (room - size) / 2;
}

}  // namespace

StageAlign ParseStageAlign(std::string_view text) {
  StageAlign align;
  for (char ch : text) {
    switch (ch) {
      case 'L':
      case 'l':
        align.left = true;
        break;
      case 'R':
      case 'r':
        align.right = true;
        break;
      case 'T':
      case 't':
        align.top = true;
        break;
      case 'B':
      case 'b':
        align.bottom = true;
        break;
      default:
        break;
    }
  }
  return align;
}

Matrix StageToDevice(const Rect& stage, int window_width, int window_height, ScaleMode mode,
                     StageAlign align) {
  const float stage_w = (stage.x_max - stage.x_min) / kTwipsPerPixel;
  const float stage_h = (stage.y_max - stage.y_min) / kTwipsPerPixel;
  if (!(stage_w > 0 && stage_h > 0 && std::isfinite(stage_w) && std::isfinite(stage_h)) ||
      window_width <= 0 || window_height <= 0) {
    return Matrix::Scale(0, 0);
  }
  const float win_w = static_cast<float>(window_width), win_h = static_cast<float>(window_height);
  float sx = 1, sy = 1;  // window pixels per stage pixel
  switch (mode) {
    case ScaleMode::ShowAll:
      sx = sy = std::min(win_w / stage_w, win_h / stage_h);
      break;
    case ScaleMode::NoBorder:
      sx = sy = std::max(win_w / stage_w, win_h / stage_h);
      break;
    case ScaleMode::ExactFit:
      sx = win_w / stage_w;
      sy = win_h / stage_h;
      break;
    case ScaleMode::NoScale:
      break;
  }
  const float ox = AlignOffset(win_w, stage_w * sx, align.left, align.right);
  const float oy = AlignOffset(win_h, stage_h * sy, align.top, align.bottom);
  const float kx = sx / kTwipsPerPixel, ky = sy / kTwipsPerPixel;
  return {kx, 0, 0, ky, ox - stage.x_min * kx, oy - stage.y_min * ky};
}

}  // namespace lumen::render
