#include "flash/ViewZoom.h"

#include <algorithm>
#include <cmath>

namespace lumen::flash {

void ViewZoom::Reset() {
  factor_ = 1;
  pan_x_ = pan_y_ = 0;
}

void ViewZoom::ZoomBy(double factor, int window_width, int window_height) {
  if (!std::isfinite(factor) || factor <= 0) return;
  const double before = factor_;
  factor_ = std::clamp(factor_ * factor, 1.0, kMaxFactor);
  // The point at the window's centre stays there.
  pan_x_ *= factor_ / before;
  pan_y_ *= factor_ / before;
  ClampPan(window_width, window_height);
}

void ViewZoom::PanBy(double dx, double dy, int window_width, int window_height) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return;
  pan_x_ += dx;
  pan_y_ += dy;
  ClampPan(window_width, window_height);
}

void ViewZoom::ClampPan(int window_width, int window_height) {
  const double room_x = (factor_ - 1) * std::max(window_width, 0) / 2;
  const double room_y = (factor_ - 1) * std::max(window_height, 0) / 2;
  pan_x_ = std::clamp(pan_x_, -room_x, room_x);
  pan_y_ = std::clamp(pan_y_, -room_y, room_y);
}

StageView ViewZoom::Apply(const StageView& base, int window_width, int window_height) const {
  const double centre_x = window_width / 2.0, centre_y = window_height / 2.0;
  return {base.scale_x * factor_, base.scale_y * factor_,
          centre_x + (base.offset_x - centre_x) * factor_ + pan_x_,
          centre_y + (base.offset_y - centre_y) * factor_ + pan_y_};
}

}  // namespace lumen::flash
