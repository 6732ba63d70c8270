#pragma once

#include "flash/MovieEngine.h"

namespace lumen::flash {

// The user's magnification of the laid-out stage: a factor about the window's centre and a pan
// in window pixels. The view never zooms out beyond the layout, and a pan never shows more than
// the magnified window's edge.
class ViewZoom {
 public:
  static constexpr double kMaxFactor = 20;

  double Factor() const { return factor_; }
  bool Zoomed() const { return factor_ > 1; }

  void Reset();
  // Multiplies the factor (2 zooms in twice as far, 0.5 back out), kept within 1..kMaxFactor.
  void ZoomBy(double factor, int window_width, int window_height);
  // Magnifies the window rectangle x0,y0 - x1,y1 (pixels of the unzoomed layout) to fill the
  // window as far as the factor's limits allow, centred.
  void ZoomTo(double x0, double y0, double x1, double y1, int window_width, int window_height);
  // Moves the picture by `dx`, `dy` window pixels (positive: right and down).
  void PanBy(double dx, double dy, int window_width, int window_height);
  // `base` magnified and moved as the user asked.
  StageView Apply(const StageView& base, int window_width, int window_height) const;

 private:
  void ClampPan(int window_width, int window_height);

  double factor_ = 1;
  double pan_x_ = 0, pan_y_ = 0;
};

}  // namespace lumen::flash
