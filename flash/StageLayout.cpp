#include "flash/StageLayout.h"

#include <algorithm>

namespace lumen::flash {
namespace {

constexpr double kPixelsPerTwip = 1.0 / 20.0;

// Where the spare (or missing) room goes along one axis.
double Place(double spare, bool low, bool high) {
  if (low && !high) return 0;
  if (high && !low) return spare;
  return spare / 2;
}

}  // namespace

StageView LayoutStage(int32_t stage_width, int32_t stage_height, int window_width,
                      int window_height, ScaleMode mode, int32_t align) {
  StageView view{kPixelsPerTwip, kPixelsPerTwip, 0, 0};
  if (stage_width <= 0 || stage_height <= 0 || window_width <= 0 || window_height <= 0) {
    return view;
  }
  const double fit_x = window_width / static_cast<double>(stage_width);
  const double fit_y = window_height / static_cast<double>(stage_height);
  switch (mode) {
    case ScaleMode::ShowAll:
      view.scale_x = view.scale_y = std::min(fit_x, fit_y);
      break;
    case ScaleMode::NoBorder:
      view.scale_x = view.scale_y = std::max(fit_x, fit_y);
      break;
    case ScaleMode::ExactFit:
      view.scale_x = fit_x;
      view.scale_y = fit_y;
      break;
    case ScaleMode::NoScale:
      break;
  }
  view.offset_x =
      Place(window_width - stage_width * view.scale_x, align & kAlignLeft, align & kAlignRight);
  view.offset_y =
      Place(window_height - stage_height * view.scale_y, align & kAlignTop, align & kAlignBottom);
  return view;
}

}  // namespace lumen::flash
