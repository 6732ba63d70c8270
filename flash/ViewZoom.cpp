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

void ViewZoom::ZoomTo(double x0, double y0, double x1, double y1, int window_width,
                      int window_height) {
  const double width = x1 - x0, height = y1 - y0;
  if (!(width > 0 && height > 0) || window_width <= 0 || window_height <= 0) return;
  factor_ = std::clamp(std::min(window_width / width, window_height / height), 1.0, kMaxFactor);
  if (!std::isfinite(factor_)) factor_ = 1;
  // The rectangle's centre goes to the window's centre.
  pan_x_ = (window_width / 2.0 - (x0 + x1) / 2) * factor_;
  pan_y_ = (window_height / 2.0 - (y0 + y1) / 2) * factor_;
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
